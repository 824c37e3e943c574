#include "TestEnvironment.h"
#include "log/AppLogger.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Analysers built without a log sink write to the shared logger: keep its
// files inside a temporary home for the whole test program.
class IsolatedLogHome : public ::testing::Environment {
public:
    void SetUp() override { m_home = std::make_unique<tess::test::IsolatedHome>(); }
    void TearDown() override
    {
        tess::AppLogger::shared().flush();
        m_home.reset();
    }

private:
    std::unique_ptr<tess::test::IsolatedHome> m_home;
};

[[maybe_unused]] ::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new IsolatedLogHome);

}  // namespace
