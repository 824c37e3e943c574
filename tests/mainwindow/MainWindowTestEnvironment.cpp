#include "TestEnvironment.h"

#include "log/AppLogger.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QStyleFactory>

#include <memory>

namespace tess {
namespace {

// One application object and an isolated home for the whole program.
class MainWindowTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_home = std::make_unique<test::IsolatedHome>();
        static int argc = 1;
        static char name[] = "test_mainwindow";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }
    void TearDown() override
    {
        AppLogger::shared().flush();
        m_app.reset();
        m_home.reset();
    }

private:
    std::unique_ptr<test::IsolatedHome> m_home;
    std::unique_ptr<QApplication> m_app;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new MainWindowTestEnvironment);

}  // namespace
}  // namespace tess
