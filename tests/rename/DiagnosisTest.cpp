#include "FaultyFileSystem.h"
#include "RenameTestSupport.h"

#include <cerrno>
#include <functional>
#include <gmock/gmock.h>
#include <pwd.h>
#include <sys/acl.h>
#include <unistd.h>

namespace tess::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Op = FaultyFileSystem::Op;
using Status = SourceFileRenamer::RenameVerification::VerificationStatus;
using Acl = FileSystemOps::AclInfo;
const std::string kNothing = "No obvious permission issue found — the file may be in use by another process";

class VerificationTest : public RenamerTest { };

TEST_F(VerificationTest, StatusFollowsWhatExistsOnDisk)
{
    struct Case {
        bool source;
        bool target;
        Status expected;
    };
    for (const Case& c : {Case {false, true, Status::verified}, Case {true, false, Status::sourceStillExists},
             Case {false, false, Status::targetMissing}, Case {true, true, Status::both}}) {
        TempDir scratch;
        if (c.source)
            scratch.writeFile("d/old");
        if (c.target)
            scratch.writeFile("d/new");
        const auto verification = SourceFileRenamer::verifyRename({"d/old", "d/new", false}, scratch.path());
        EXPECT_EQ(verification.status, c.expected) << c.source << c.target;
        EXPECT_EQ(verification.originalPath, "d/old");
        EXPECT_EQ(verification.targetPath, "d/new");
    }
}

TEST_F(VerificationTest, DanglingLinkAtTheTargetCountsAsPresent)
{
    ASSERT_EQ(::symlink("nowhere", at("new").c_str()), 0);
    EXPECT_EQ(SourceFileRenamer::verifyRename({"old", "new", false}, root()).status, Status::verified);
}

class MissingParentTest : public RenamerTest { };

TEST_F(MissingParentTest, CollectsUpToTheFirstExistingFolderAndNeverTheRoot)
{
    makeDir("a");
    std::set<std::string> collected;
    SourceFileRenamer::collectMissingParentDirectories(at("a/b/c"), root(), collected);
    EXPECT_EQ(collected, (std::set<std::string> {"a/b/c", "a/b"}));

    collected.clear();
    SourceFileRenamer::collectMissingParentDirectories(at("a"), root(), collected);
    EXPECT_TRUE(collected.empty());

    // A root that does not exist itself is still never collected, nor its parents.
    collected.clear();
    SourceFileRenamer::collectMissingParentDirectories(at("gone/x/y"), at("gone"), collected);
    EXPECT_EQ(collected, (std::set<std::string> {"x/y", "x"}));

    // A sibling whose name starts with the root's is outside it.
    collected.clear();
    SourceFileRenamer::collectMissingParentDirectories(root() + "X/y", root(), collected);
    EXPECT_TRUE(collected.empty());
}

// The user this test runs as, who owns what it makes.
std::string currentUserName()
{
    const passwd* user = ::getpwuid(::geteuid());
    return user != nullptr ? user->pw_name : "?";
}

class DiagnosisTest : public RenamerTest {
protected:
    std::string diagnose(FileSystemOps& fs = FileSystemOps::posix())
    {
        return SourceFileRenamer::diagnosePermissionFailure(at("src/item"), at("dst/item"), fs);
    }
    void SetUp() override
    {
        write("src/item");
        makeDir("dst");
        ::chmod(at("src").c_str(), 0700);
        ::chmod(at("dst").c_str(), 0700);
        LogCapture::clear();
    }
};

TEST_F(DiagnosisTest, NothingWrong)
{
    EXPECT_EQ(diagnose(), kNothing);
    EXPECT_GE(LogCapture::find("❌ Permission diagnosis summary: " + kNothing), 0);
    EXPECT_GE(LogCapture::find("❌ Permission diagnosis — source item: mode="), 0);
    EXPECT_GE(LogCapture::find("❌ Permission diagnosis — source parent src/: mode=700 owner="), 0);
    EXPECT_GE(LogCapture::find("❌ Permission diagnosis — dest parent dst/: mode=700 owner="), 0);
    for (const auto& line : LogCapture::lines())
        EXPECT_EQ(line.level, "ERROR");
}

TEST_F(DiagnosisTest, ParentModesWithoutOwnerWriteAndSearch)
{
    ASSERT_EQ(::chmod(at("src").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(at("dst").c_str(), 0500), 0);
    const std::string summary = diagnose();
    ::chmod(at("src").c_str(), 0700);
    ::chmod(at("dst").c_str(), 0700);
    EXPECT_THAT(summary, HasSubstr("Source folder src/ is not writable (mode 555, owner: "));
    EXPECT_THAT(summary, HasSubstr("). Run: chmod u+wx \"" + at("src") + "\""));
    EXPECT_THAT(summary, HasSubstr("; Destination folder dst/ is not writable (mode 500, owner: "));
    EXPECT_THAT(summary, Not(HasSubstr(kNothing)));
}

TEST_F(DiagnosisTest, MissingDestinationParent)
{
    const std::string summary = SourceFileRenamer::diagnosePermissionFailure(at("src/item"), at("nowhere/item"));
    EXPECT_EQ(summary, "Destination parent folder does not exist: nowhere/");
    EXPECT_EQ(LogCapture::find("dest parent"), -1);
}

TEST_F(DiagnosisTest, RealAccessIsTestedAndTheOwnerNamed)
{
    FaultyFileSystem fs;
    fs.fail(Op::access, "/root/dst", EACCES);
    const std::string summary = diagnose(fs);
    EXPECT_THAT(summary, HasSubstr("Destination folder dst/ is not writable by you ("));
    EXPECT_THAT(summary, HasSubstr("; owner: "));
}

// A folder moved into another folder needs write permission on itself (its
// ".." changes); within its folder it does not.
TEST_F(DiagnosisTest, AFolderMovedIntoAnotherFolderNeedsWritePermissionOnItself)
{
    makeDir("src/folder");
    ::chmod(at("src/folder").c_str(), 0555);
    FaultyFileSystem fs;
    fs.fail(Op::access, "/root/src/folder", EACCES);
    EXPECT_THAT(SourceFileRenamer::diagnosePermissionFailure(at("src/folder"), at("dst/folder"), fs),
        HasSubstr("Folder folder/ cannot be moved into another folder: that needs write permission on the folder itself, which you ("
            + currentUserName() + ") do not have (mode 555, owner: " + currentUserName() + ")"));
    EXPECT_THAT(SourceFileRenamer::diagnosePermissionFailure(at("src/folder"), at("src/renamed"), fs), Not(HasSubstr("Folder folder/")));
}

// The real cause, not what it looks like: an immutable folder refuses even
// root, and a folder that cannot be searched hides a folder that exists.
TEST_F(DiagnosisTest, AnImmutableOrUnsearchableFolderIsNamedAsSuch)
{
    makeDir("locked/dst");
    ::chmod(at("locked").c_str(), 0644);
    struct Case {
        const char* name;
        std::string destination;
        std::function<void(FaultyFileSystem&)> faults;
        std::string finding;
        std::vector<std::string> absent;
    };
    const std::vector<Case> cases {
        {"immutable source folder", at("dst/item"),
            [this](FaultyFileSystem& fs) {
                fs.immutableFolders = {at("src")};
                fs.fail(Op::access, "/root/src", EPERM);
            },
            "Source folder src/ is immutable: its items cannot be added, renamed or removed. Run: chattr -i \"" + at("src") + "\"",
            {"not writable by you"}},
        {"destination below a folder without search permission", at("locked/dst/item"),
            [](FaultyFileSystem& fs) { fs.fail(Op::lstat, "/locked/dst", EACCES); },
            "Destination folder dst/ cannot be reached: the folder locked/ above it cannot be searched (mode 644, owner: "
                + currentUserName() + "). Run: chmod u+x \"" + at("locked") + "\"",
            {"does not exist"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultyFileSystem fs;
        c.faults(fs);
        const std::string summary = SourceFileRenamer::diagnosePermissionFailure(at("src/item"), c.destination, fs);
        EXPECT_THAT(summary, HasSubstr(c.finding));
        for (const std::string& wrong : c.absent)
            EXPECT_THAT(summary, Not(HasSubstr(wrong)));
    }
    ::chmod(at("locked").c_str(), 0755);
}

TEST_F(DiagnosisTest, VolumeAndImmutableFlag)
{
    FaultyFileSystem fs;
    fs.readOnlyVolume = true;
    fs.immutable = true;
    EXPECT_EQ(diagnose(fs), "Volume is mounted read-only; Source file is locked (immutable). Unlock it with chattr -i");
    EXPECT_GE(LogCapture::find("immutable=true"), 0);
}

TEST_F(DiagnosisTest, UnreadableSourceIsLoggedAndTheRestStillRuns)
{
    const std::string summary = SourceFileRenamer::diagnosePermissionFailure(at("src/ghost"), at("dst/ghost"));
    EXPECT_EQ(summary, kNothing);
    EXPECT_GE(LogCapture::find("❌ Permission diagnosis — could not read source attributes: " + at("src/ghost")), 0);
    EXPECT_GE(LogCapture::find("source parent src/"), 0);
}

TEST_F(DiagnosisTest, SourceNotReadableByOwner)
{
    ASSERT_EQ(::chmod(at("src/item").c_str(), 0200), 0);
    EXPECT_THAT(diagnose(), HasSubstr("Source file is not readable by owner (mode 200, owner: "));
}

TEST_F(DiagnosisTest, StickyParentAndAnotherOwner)
{
    ASSERT_EQ(::chmod(at("src").c_str(), 01777), 0);
    EXPECT_EQ(diagnose(), kNothing);  // the item is ours
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing the owner needs root";
    ASSERT_EQ(::lchown(at("src/item").c_str(), 65534, 65534), 0);
    passwd* nobody = ::getpwuid(65534);
    const std::string owner = nobody ? nobody->pw_name : "?";
    EXPECT_THAT(diagnose(), HasSubstr("Source parent has sticky bit set and you (root) are not the file owner (" + owner + ")"));
}

TEST_F(DiagnosisTest, AclFindings)
{
    struct Case {
        Acl acl;
        bool deny;
        std::string logged;  // "" = nothing logged for this ACL
    };
    const Case cases[] = {
        {{Acl::Kind::text, "  user:bob:DENY write\n"}, true, "user:bob:DENY write"},
        {{Acl::Kind::text, "user::rwx\nuser:bob:r--\nmask::rwx\n"}, false, "user::rwx\nuser:bob:r--\nmask::rwx"},
        {{Acl::Kind::unconvertible, ""}, false, "ACL present but could not convert to text"},
        {{Acl::Kind::text, " \n "}, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        FaultyFileSystem fs;
        fs.acls[at("src")] = c.acl;
        LogCapture::clear();
        const std::string summary = diagnose(fs);
        const std::string label = "source parent 'src/'";
        if (c.deny) {
            EXPECT_EQ(summary, "ACL deny rule found on " + label + " — check with: getfacl \"" + at("src") + "\"");
            EXPECT_EQ(LogCapture::find("ACL present (no deny rules)"), -1);
        } else {
            EXPECT_EQ(summary, kNothing);
        }
        if (c.logged.empty()) {
            EXPECT_EQ(LogCapture::find("ACL"), -1);
        } else {
            EXPECT_GE(LogCapture::find("❌ Permission diagnosis — ACL on " + label + ": " + c.logged), 0);
            if (!c.deny) {
                EXPECT_GE(LogCapture::find("❌ Permission diagnosis — ACL present (no deny rules) on " + label + ": " + c.logged), 0);
            }
        }
    }
}

TEST_F(DiagnosisTest, RealAclIsRead)
{
    acl_t acl = ::acl_from_text("u::rw-,u:65534:r--,g::r--,m::r--,o::---");
    ASSERT_NE(acl, nullptr);
    const int set = ::acl_set_file(at("src/item").c_str(), ACL_TYPE_ACCESS, acl);
    ::acl_free(acl);
    if (set != 0)
        GTEST_SKIP() << "no ACL support on this file system";
    LogCapture::clear();
    EXPECT_EQ(diagnose(), kNothing);
    EXPECT_GE(LogCapture::find("❌ Permission diagnosis — ACL present (no deny rules) on source 'item': "), 0);
}

class MetadataTest : public RenamerTest { };

TEST_F(MetadataTest, MetadataOnlyContents)
{
    struct Case {
        std::vector<std::string> files;
        std::optional<std::vector<std::string>> expected;
    };
    const Case cases[] = {
        {{}, std::vector<std::string> {}},
        {{"Thumbs.db", ".DS_Store"}, std::vector<std::string> {".DS_Store", "Thumbs.db"}},
        {{".DS_Store", "Thumbs.db", "x"}, std::nullopt},
        {{".ds_store"}, std::nullopt},
        {{".hidden"}, std::nullopt},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string folder = "m" + std::to_string(n++);
        makeDir(folder);
        for (const auto& name : c.files)
            write(folder + "/" + name);
        EXPECT_EQ(SourceFileRenamer::metadataOnlyContents(at(folder)), c.expected) << folder;
    }
    // A folder that carries a metadata name is content, not metadata.
    makeDir("dirs/.DS_Store/photos");
    EXPECT_EQ(SourceFileRenamer::metadataOnlyContents(at("dirs")), std::nullopt);
    EXPECT_EQ(SourceFileRenamer::metadataOnlyContents(at("missing")), std::nullopt);
}

TEST_F(MetadataTest, RemoveMetadataFiles)
{
    EXPECT_TRUE(SourceFileRenamer::removeMetadataFiles({}, root()));
    EXPECT_TRUE(LogCapture::lines().empty());

    write("d/.DS_Store");
    write("d/Thumbs.db");
    FaultyFileSystem fs;
    fs.fail(Op::unlink, "/d/Thumbs.db", EACCES);
    EXPECT_FALSE(SourceFileRenamer::removeMetadataFiles({".DS_Store", "Thumbs.db"}, at("d"), fs));
    EXPECT_FALSE(exists("d/.DS_Store"));
    EXPECT_TRUE(exists("d/Thumbs.db"));
    EXPECT_GE(LogCapture::find("Cleanup: removed metadata file " + at("d/.DS_Store")), 0);
    EXPECT_GE(LogCapture::find("❌ Cleanup: failed to remove metadata file " + at("d/Thumbs.db") + ": Permission denied"), 0);

    LogCapture::clear();
    auto privileged = [](const std::string& path) {
        ::unlink(path.c_str());
        return SourceFileRenamer::PrivilegedReply {true, ""};
    };
    EXPECT_TRUE(SourceFileRenamer::removeMetadataFiles({"Thumbs.db"}, at("d"), fs, privileged));
    EXPECT_FALSE(exists("d/Thumbs.db"));
    EXPECT_GE(LogCapture::find("Cleanup: removed metadata file " + at("d/Thumbs.db") + " (privileged)"), 0);
}

}  // namespace
}  // namespace tess::test
