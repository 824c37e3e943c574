#include "core/HugePageHeap.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <gnu/libc-version.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace tess {
namespace {

using hugepageheap::Mode;

TEST(HugePageHeap, ReadsTheModeTheVersionAndTheTunables)
{
    EXPECT_EQ(hugepageheap::modeOf("always [madvise] never\n"), Mode::madvise);
    EXPECT_EQ(hugepageheap::modeOf("[always] madvise never\n"), Mode::always);
    EXPECT_EQ(hugepageheap::modeOf("always madvise [never]\n"), Mode::never);
    EXPECT_EQ(hugepageheap::modeOf(""), Mode::unknown);
    EXPECT_EQ(hugepageheap::modeOf("always madvise never"), Mode::unknown);

    for (const auto& [version, has] : std::vector<std::pair<const char*, bool>> {
             {"2.36", true}, {"2.35", true}, {"2.34", false}, {"2.4", false}, {"3.0", true}, {"1.99", false}, {"", false}, {"2", false},
             {"x.40", false}}) {
        EXPECT_EQ(hugepageheap::libcHasTunable(version), has) << version;
    }

    EXPECT_EQ(hugepageheap::tunablesWithHugePages(nullptr), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(hugepageheap::tunablesWithHugePages(""), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(hugepageheap::tunablesWithHugePages("glibc.malloc.check=0"), "glibc.malloc.check=0:glibc.malloc.hugetlb=1");
    EXPECT_EQ(hugepageheap::tunablesWithHugePages("glibc.malloc.hugetlb=0"), std::nullopt);
    EXPECT_EQ(hugepageheap::tunablesWithHugePages("glibc.malloc.check=0:glibc.malloc.hugetlb=2"), std::nullopt);
    EXPECT_EQ(hugepageheap::tunablesWithHugePages("glibc.malloc.hugetlbx=1"), "glibc.malloc.hugetlbx=1:glibc.malloc.hugetlb=1");
}

// Runs the probe with GLIBC_TUNABLES set to `tunables` (unset when absent)
// and returns what it noted.
std::string runProbe(const std::string& notes, const std::optional<std::string>& tunables)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!std::string_view(*entry).starts_with("GLIBC_TUNABLES=")) {
            environment.emplace_back(*entry);
        }
    }
    if (tunables) {
        environment.push_back("GLIBC_TUNABLES=" + *tunables);
    }
    std::vector<char*> envp;
    for (auto& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string probe = std::string(TESSALINE_BINARY_DIR) + "/tests/core/heap_restart_probe";
    std::string notesArgument = notes;
    std::string spaced = "a b";
    std::string empty;
    std::string last = "c";
    std::vector<char*> argv {probe.data(), notesArgument.data(), spaced.data(), empty.data(), last.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, probe.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
        return "spawn failed";
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "probe failed";
    }
    std::ifstream file(notes);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The restart happens once where it helps, and the program goes on with its
// arguments and its environment as they were.
TEST(HugePageHeap, RestartsOnceAndLeavesArgumentsAndEnvironmentAsTheyWere)
{
    const bool restarts = hugepageheap::systemMode() == Mode::madvise && hugepageheap::libcHasTunable(gnu_get_libc_version());
    struct Case {
        const char* name;
        std::optional<std::string> tunables;
        bool chosenByUser;
    };
    test::TempDir dir;
    int run = 0;
    for (const Case& c : {Case {"unset", std::nullopt, false}, Case {"other tunable", "glibc.malloc.check=0", false},
             Case {"chosen by the user", "glibc.malloc.hugetlb=0", true}}) {
        SCOPED_TRACE(c.name);
        const std::string notes = runProbe(dir / ("notes-" + std::to_string(++run)), c.tunables);
        const std::string starts = restarts && !c.chosenByUser ? "start\nstart\n" : "start\n";
        EXPECT_EQ(notes, starts + "args=[a b][][c]\nGLIBC_TUNABLES=" + c.tunables.value_or("(unset)") + "\nTESSALINE_HEAP_RESTART=(unset)\nTESSALINE_HEAP_ORIGINAL_TUNABLES=(unset)\n");
    }
}

}  // namespace
}  // namespace tess
