#include "IsolatedLogEnvironment.h"

#include "log/AppLogger.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QStyleFactory>

#include <memory>

namespace tess {
namespace {

// One application object for the whole program, after the isolated home and
// the shared logger are set up.
class HistoryViewTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "test_historyview";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }
    void TearDown() override
    {
        AppLogger::shared().flush();
        m_app.reset();
    }

private:
    std::unique_ptr<QApplication> m_app;
};

const auto* const kLogEnvironment = ::testing::AddGlobalTestEnvironment(new test::IsolatedLogEnvironment);
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new HistoryViewTestEnvironment);

}  // namespace
}  // namespace tess
