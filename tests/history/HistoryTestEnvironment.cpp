#include "HistoryTestSupport.h"
#include "IsolatedLogEnvironment.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace tess::test {
namespace {

// The whole program runs with HOME and the XDG folders in a temporary
// folder, so the shared logger (created on first use) writes there and
// never into the real home. Debug logging stays as the logger starts.
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new IsolatedLogEnvironment(false));

}  // namespace

std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

namespace {

void snapshotInto(const std::string& folder, const std::string& relative, bool modes, TreeSnapshot& out)
{
    DIR* dir = ::opendir(folder.c_str());
    ASSERT_NE(dir, nullptr) << folder;
    while (const dirent* item = ::readdir(dir)) {
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "/" + name;
        const std::string rel = relative.empty() ? name : relative + "/" + name;
        struct stat st;
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        std::string& value = out[rel];
        value = S_ISDIR(st.st_mode) ? std::string("D") : "F:" + fileBytes(path);
        if (modes)
            value += " " + std::to_string(st.st_mode & 07777);
        if (S_ISDIR(st.st_mode))
            snapshotInto(path, rel, modes, out);
    }
    ::closedir(dir);
}

}  // namespace

TreeSnapshot snapshotTree(const std::string& root, bool modes)
{
    TreeSnapshot out;
    snapshotInto(root, "", modes, out);
    return out;
}

}  // namespace tess::test
