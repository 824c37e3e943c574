#include "IsolatedLogEnvironment.h"

#include <gtest/gtest.h>

namespace tess::test {
namespace {

// HOME and the XDG folders in a temporary folder, debug logging on.
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new IsolatedLogEnvironment);

}  // namespace
}  // namespace tess::test
