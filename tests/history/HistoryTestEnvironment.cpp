#include "HistoryTestSupport.h"
#include "IsolatedLogEnvironment.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

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

}  // namespace tess::test
