#include "TestEnvironment.h"

#include "log/AppLogger.h"
#include "ui/Theme.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QStyleFactory>

#include <memory>

namespace tess {
namespace {

// The offscreen platform reports every window feature it lacks; those lines
// say nothing about the code under test.
void quietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support"))) {
        return;
    }
    qt_message_output(type, context, message);
}

// One application object, in the light palette, and an isolated home for the
// whole program.
class SettingsViewTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_home = std::make_unique<test::IsolatedHome>();
        qInstallMessageHandler(quietOffscreen);
        static int argc = 1;
        static char name[] = "test_settingsview";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(theme::lightPalette());
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

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new SettingsViewTestEnvironment);

}  // namespace
}  // namespace tess
