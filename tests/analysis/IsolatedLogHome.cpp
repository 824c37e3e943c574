#include "IsolatedLogEnvironment.h"

namespace {

// Analysers built without a log sink write to the shared logger: keep its
// files inside a temporary home for the whole test program.
[[maybe_unused]] ::testing::Environment* const g_environment
    = ::testing::AddGlobalTestEnvironment(new tess::test::IsolatedLogEnvironment);

}  // namespace
