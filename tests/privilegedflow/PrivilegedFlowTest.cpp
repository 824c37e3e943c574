// The privileged rename end to end, as a user without the rights meets it:
// an administrator (not root) renames for NTFS with "Use privileged helper"
// on, through the real view model in a process of that user, the real
// daemon (its test build, as root) on a private socket and bus, and polkit
// simulated; then undoes the batch. The tree mixes the user's folders with
// root's. Each row checks every item's owner, group, mode and content after
// the rename and after the undo, what the results say, and how often polkit
// was asked. Root only: the daemon must run as root and the tree needs
// root's folders (CI runs as root).

#include "ChildProgram.h"
#include "DaemonProcess.h"
#include "PolkitAuthority.h"
#include "PolkitMock.h"
#include "PrivateBus.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tess::test {
namespace {

using namespace std::chrono_literals;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr uid_t kTester = 4242;
// The tester's group and the daemon's administrators' group in this test.
constexpr const char* kAdminGroup = "nogroup";

const std::string kRefusal = "Not authorized: the system's policy does not allow this operation";
const std::string kUnreachable = "XPC call failed: Failed to create XPC proxy connection to helper tool";

// One item of a tree: root's or the tester's, with its mode; files hold
// their content.
struct Item {
    std::string path;
    bool root = false;  // owned by root:root, else by the tester and the administrators' group
    mode_t mode = 0755;
    std::optional<std::string> content;  // a file; none: a folder
};
using Tree = std::vector<Item>;

Item folder(std::string path, bool root, mode_t mode)
{
    return {std::move(path), root, mode, std::nullopt};
}

Item file(std::string path, bool root, mode_t mode, std::string content)
{
    return {std::move(path), root, mode, std::move(content)};
}

gid_t adminGroup()
{
    const group* found = ::getgrnam(kAdminGroup);
    return found != nullptr ? found->gr_gid : 65534;
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string describe(bool folder, bool root, mode_t mode, const std::string& content)
{
    char octal[8];
    std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode & 07777));
    return std::string(folder ? "folder " : "file ") + (root ? "root " : "tester ") + octal + (folder ? "" : " " + content);
}

// Every item below `folder`, as `describe` writes it; an owner that is
// neither root's nor the tester's reads as neither.
std::map<std::string, std::string> snapshot(const std::string& folder)
{
    std::map<std::string, std::string> out;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        struct stat st { };
        const std::string path = entry.path().string();
        if (::lstat(path.c_str(), &st) != 0) {
            ADD_FAILURE() << path << ": " << std::strerror(errno);
            continue;
        }
        const bool root = st.st_uid == 0 && st.st_gid == 0;
        const bool tester = st.st_uid == kTester && st.st_gid == adminGroup();
        std::string text = describe(S_ISDIR(st.st_mode), root, st.st_mode, S_ISDIR(st.st_mode) ? "" : readAll(path));
        if (!root && !tester) {
            text += " owned by " + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid);
        }
        out[std::filesystem::relative(entry.path(), folder).string()] = text;
    }
    return out;
}

std::map<std::string, std::string> expected(const Tree& tree)
{
    std::map<std::string, std::string> out;
    for (const Item& item : tree) {
        out[item.path] = describe(!item.content, item.root, item.mode, item.content.value_or(""));
    }
    return out;
}

void make(const std::string& root, const Tree& tree)
{
    for (const Item& item : tree) {
        const std::string path = root + "/" + item.path;
        if (item.content) {
            std::ofstream(path, std::ios::binary) << *item.content;
        } else {
            ASSERT_EQ(::mkdir(path.c_str(), 0700), 0) << path;
        }
        ASSERT_EQ(::lchown(path.c_str(), item.root ? 0 : kTester, item.root ? 0 : adminGroup()), 0) << path;
        ASSERT_EQ(::chmod(path.c_str(), item.mode), 0) << path;
    }
}

// What the view model answered: "key<TAB>value" lines.
struct Answer {
    std::multimap<std::string, std::string> fields;

    std::string at(const std::string& key) const
    {
        const auto found = fields.find(key);
        return found == fields.end() ? std::string() : found->second;
    }
    std::vector<std::string> all(const std::string& key) const
    {
        std::vector<std::string> out;
        for (auto [it, end] = fields.equal_range(key); it != end; ++it) {
            out.push_back(it->second);
        }
        return out;
    }
};

std::optional<Answer> ask(ChildProgram& child, const std::string& request, std::chrono::milliseconds limit = 120s)
{
    const std::optional<std::vector<std::string>> lines = child.ask(request, limit);
    if (!lines) {
        return std::nullopt;
    }
    Answer answer;
    for (const std::string& line : *lines) {
        const auto tab = line.find('\t');
        answer.fields.emplace(line.substr(0, tab), tab == std::string::npos ? std::string() : ChildProgram::unescape(line.substr(tab + 1)));
    }
    return answer;
}

enum class Daemon { running,
    stopsAfterTheBatchFirstCall,
    absent };

struct Row {
    const char* name;
    Tree before;
    // The tree after the rename; where the batch's order decides what is
    // done first, each tree it may leave.
    std::vector<Tree> afterRename;
    std::string renameMessage;
    std::string undoMessage;
    Daemon daemon = Daemon::running;
    int polkitYes = -1;  // checks polkit authorises before it says no; -1: every one
    // The undo gives the tree back; else it changes nothing, and says what it did not restore.
    bool undoRestores = true;
    // What every failure of the rename and of the undo names at its end; empty: no daemon reply to name.
    std::string reply = {};
    // polkit's checks during the rename and during the undo; none: at least one each.
    std::optional<int> renameChecks = std::nullopt;
    std::optional<int> undoChecks = std::nullopt;
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

class PrivilegedFlowTest : public ::testing::TestWithParam<Row> {
protected:
    static void SetUpTestSuite() { s_bus = new PrivateBus(); }
    static void TearDownTestSuite()
    {
        delete s_bus;
        s_bus = nullptr;
    }

    void SetUp() override
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "the daemon runs as root and the tree holds root's folders";
        }
        ASSERT_FALSE(s_bus->address().empty()) << "dbus-daemon did not start";
        ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0);
        for (const char* folder : {"home", "home/.config", "home/.local", "home/.local/share", "home/.local/state", "tree"}) {
            m_dir.makeDir(folder);
            ASSERT_EQ(::lchown((m_dir / folder).c_str(), kTester, adminGroup()), 0);
        }
        ASSERT_EQ(::chmod((m_dir / "home").c_str(), 0700), 0);
        m_dir.makeDir("roothome");
        m_dir.writeFile("passwd", "root:x:0:0:root:" + (m_dir / "roothome") + ":/bin/sh\ntester:x:4242:" + std::to_string(adminGroup()) + ":tester:" + (m_dir / "home") + ":/bin/sh\n");
    }

    // Simulated polkit (answering yes `row.polkitYes` times, or always),
    // then the daemon on its socket, unless the row has none.
    void startDaemon(const Row& row)
    {
        m_polkit = std::make_unique<PolkitMock>(s_bus->address());
        ASSERT_TRUE(m_polkit->running()) << "the simulated polkitd did not start";
        ASSERT_TRUE(m_polkit->setAllowed({PolkitAuthority::kAction}));
        if (row.polkitYes >= 0) {
            ASSERT_TRUE(m_polkit->refuseAfter(row.polkitYes));
        }
        if (row.daemon == Daemon::absent) {
            return;
        }
        DaemonProcess::Environment environment {
            {"TESSALINE_HELPER_SOCKET", socket()},
            {"DBUS_SYSTEM_BUS_ADDRESS", s_bus->address()},
            {"TESSALINE_HELPER_PASSWD_FILE", m_dir / "passwd"},
            {"TESSALINE_HELPER_ADMIN_GROUP", kAdminGroup},
            {"TESSALINE_DISKIMAGE_TOOL", m_dir / "no-such-tool"},
            {"TESSALINE_HELPER_ROOT_LOG", m_dir / "root.log"},
        };
        if (row.daemon == Daemon::stopsAfterTheBatchFirstCall) {
            // Between the checks and the change of its first rename, removal
            // or attribute copy, the daemon is told to stop; it finishes that
            // request and has closed its socket before it goes on.
            m_dir.writeFile("stop-daemon", "#!/bin/sh\nkill -TERM $PPID\nwhile [ -S '" + socket() + "' ]; do sleep 0.01; done\n");
            ASSERT_EQ(::chmod((m_dir / "stop-daemon").c_str(), 0755), 0);
            environment["TESSALINE_HELPER_CHECKPOINT"] = m_dir / "stop-daemon";
        }
        m_daemon = std::make_unique<DaemonProcess>(environment);
        ASSERT_TRUE(m_daemon->start(socket())) << "the daemon did not start";
    }

    std::unique_ptr<ChildProgram> startViewModel()
    {
        const std::string home = m_dir / "home";
        ChildProgram::Environment environment {
            {"HOME", home},
            {"XDG_CONFIG_HOME", home + "/.config"},
            {"XDG_DATA_HOME", home + "/.local/share"},
            {"XDG_STATE_HOME", home + "/.local/state"},
            {"XDG_CACHE_HOME", home + "/.cache"},
            {"PATH", "/usr/bin:/bin"},
            {"LANG", "C.UTF-8"},
            {"QT_QPA_PLATFORM", "offscreen"},
        };
        for (const char* sanitizer : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (const char* value = std::getenv(sanitizer)) {
                environment[sanitizer] = value;
            }
        }
        return std::make_unique<ChildProgram>(PRIVILEGED_FLOW_CHILD,
            std::vector<std::string> {std::to_string(kTester), std::to_string(adminGroup()), std::to_string(adminGroup()), socket()},
            environment, home);
    }

    std::string socket() const { return m_dir / "helper.sock"; }
    std::string tree() const { return m_dir / "tree"; }

    void run(const Row& row);

    static PrivateBus* s_bus;
    TempDir m_dir;
    std::unique_ptr<PolkitMock> m_polkit;
    std::unique_ptr<DaemonProcess> m_daemon;
};

PrivateBus* PrivilegedFlowTest::s_bus = nullptr;

void PrivilegedFlowTest::run(const Row& row)
{
    ASSERT_NO_FATAL_FAILURE(make(tree(), row.before));
    const auto before = snapshot(tree());
    ASSERT_EQ(before, expected(row.before));
    ASSERT_NO_FATAL_FAILURE(startDaemon(row));
    std::unique_ptr<ChildProgram> viewModel = startViewModel();
    ASSERT_TRUE(viewModel->started());

    const std::optional<Answer> opened = ask(*viewModel, "open " + ChildProgram::escape(tree()));
    ASSERT_TRUE(opened) << "the view model did not answer";
    EXPECT_EQ(opened->at("helperReady"), row.daemon == Daemon::absent ? "no" : "yes");
    ASSERT_EQ(opened->at("scanned"), "yes");

    const int checksBefore = m_polkit->checkCount();
    const std::optional<Answer> renamed = ask(*viewModel, "rename");
    ASSERT_TRUE(renamed) << "the rename did not finish";
    const int checksInRename = m_polkit->checkCount() - checksBefore;
    const auto afterRename = snapshot(tree());
    std::vector<std::map<std::string, std::string>> acceptable;
    for (const Tree& tree : row.afterRename) {
        acceptable.push_back(expected(tree));
    }
    EXPECT_THAT(acceptable, ::testing::Contains(afterRename));
    EXPECT_EQ(renamed->at("message"), row.renameMessage);
    const std::string history = renamed->at("history");
    ASSERT_FALSE(history.empty());

    const std::optional<Answer> undone = ask(*viewModel, "undo " + ChildProgram::escape(history));
    ASSERT_TRUE(undone) << "the undo did not finish";
    const int checksInUndo = m_polkit->checkCount() - checksBefore - checksInRename;
    EXPECT_EQ(snapshot(tree()), row.undoRestores ? before : afterRename);
    EXPECT_EQ(undone->at("message"), row.undoMessage);
    if (!row.undoRestores) {
        // It names each item it left where the rename put it.
        EXPECT_EQ(undone->all("failed").size(), opened->all("row").size() - renamed->all("failed").size());
    }

    for (const Answer* answer : {&*renamed, &*undone}) {
        for (const std::string& failure : answer->all("failed")) {
            EXPECT_THAT(failure, Not(HasSubstr("conflicting contents")));
            if (!row.reply.empty()) {
                EXPECT_THAT(failure, EndsWith("(" + row.reply + ")"));
            }
        }
    }
    if (row.renameChecks) {
        EXPECT_EQ(checksInRename, *row.renameChecks);
    } else {
        EXPECT_GT(checksInRename, 0);
    }
    if (row.undoChecks) {
        EXPECT_EQ(checksInUndo, *row.undoChecks);
    } else {
        EXPECT_GT(checksInUndo, 0);
    }
}

// Root's folders are 0755 or less: the user may read them (or not even
// that), never change them.
std::vector<Row> rows()
{
    // Three of root's folders in root's P, each renamed whole by the daemon;
    // which goes first is the selection's order.
    const Tree threeFolders = {folder("P", true, 0755), folder("P/x ", true, 0755), folder("P/y ", true, 0755), folder("P/z ", true, 0755)};
    std::vector<Tree> oneRenamed;
    for (const char* name : {"x", "y", "z"}) {
        Tree renamed = threeFolders;
        for (Item& item : renamed) {
            if (item.path == std::string("P/") + name + " ") {
                item.path.pop_back();
            }
        }
        oneRenamed.push_back(renamed);
    }
    return {
        {
            "a root-owned folder renamed",
            {folder("R ", true, 0755), file("R /f:.txt", true, 0640, "f"), file("R /keep.txt", true, 0644, "k"), folder("R /s", true, 0775),
                file("R /s/h?.txt", true, 0600, "h")},
            {{folder("R", true, 0755), file("R/f_.txt", true, 0640, "f"), file("R/keep.txt", true, 0644, "k"), folder("R/s", true, 0775),
                file("R/s/h_.txt", true, 0600, "h")}},
            "5 items renamed successfully",
            "Undo complete: 5 items restored",
        },
        {
            "a user folder inside a root-owned folder renamed",
            {folder("P", true, 0755), folder("P/u ", false, 0700), file("P/u /g:.txt", false, 0600, "g"), file("P/u /k.txt", false, 0644, "k")},
            {{folder("P", true, 0755), folder("P/u", false, 0700), file("P/u/g_.txt", false, 0600, "g"), file("P/u/k.txt", false, 0644, "k")}},
            "3 items renamed successfully",
            "Undo complete: 3 items restored",
        },
        {
            "a root-owned folder inside a user folder inside a renamed folder",
            {folder("A ", false, 0755), folder("A /b", false, 0750), folder("A /b/R", true, 0755), file("A /b/R/f?", true, 0644, "f")},
            {{folder("A", false, 0755), folder("A/b", false, 0750), folder("A/b/R", true, 0755), file("A/b/R/f_", true, 0644, "f")}},
            "4 items renamed successfully",
            "Undo complete: 4 items restored",
        },
        {
            // The first folder is renamed; polkit refuses the second, and
            // the third is not asked for. The undo asks once more: no.
            "polkit says no after its first check",
            threeFolders,
            oneRenamed,
            "1 renamed, 2 failed",
            "Undo: 0 restored, 1 failed",
            Daemon::running,
            1,
            false,
            kRefusal,
            2,
            1,
        },
        {
            "the daemon stops after the batch's first call",
            threeFolders,
            oneRenamed,
            "1 renamed, 2 failed",
            "Undo: 0 restored, 1 failed",
            Daemon::stopsAfterTheBatchFirstCall,
            -1,
            false,
            kUnreachable,
            1,
            0,
        },
        {
            // A folder of root's deep in the user's renamed folders: its
            // items stay, and its parent's merge moves that parent whole,
            // under its old name, into the renamed folder. The undo moves
            // it back whole.
            "the daemon absent",
            {folder("u ", false, 0755), folder("u /v ", false, 0755), folder("u /v /w ", true, 0755), file("u /v /w /f\t.txt", true, 0644, "f"),
                file("u /v /w /g.txt", true, 0644, "g"), file("u /v /x.txt", false, 0644, "x")},
            {{folder("u", false, 0755), folder("u/v", false, 0755), folder("u/v/w", false, 0755), file("u/v/x.txt", false, 0644, "x"),
                folder("u/v ", false, 0755), folder("u/v /w ", true, 0755), file("u/v /w /f\t.txt", true, 0644, "f"),
                file("u/v /w /g.txt", true, 0644, "g")}},
            "2 renamed, 4 failed",
            "Undo complete: 2 items restored",
            Daemon::absent,
            -1,
            true,
            {},
            0,
            0,
        },
    };
}

std::string caseName(const ::testing::TestParamInfo<Row>& info)
{
    std::string name;
    bool upper = true;
    for (const char c : std::string(info.param.name)) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
            upper = true;
            continue;
        }
        name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        upper = false;
    }
    return name;
}

TEST_P(PrivilegedFlowTest, RenameAndUndo)
{
    run(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Cases, PrivilegedFlowTest, ::testing::ValuesIn(rows()), caseName);

}  // namespace
}  // namespace tess::test
