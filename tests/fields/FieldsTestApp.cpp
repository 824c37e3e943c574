#include "FieldsTestApp.h"

#include "ui/Theme.h"

#include <QApplication>
#include <QDir>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <memory>

namespace tess::test {

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

// One application object for the whole program, made before the first test
// and kept until the end (widgets need it; it must live on the main thread).
class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        qInstallMessageHandler(quietOffscreen);
        static int argc = 1;
        static char name[] = "test_fields";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(theme::lightPalette());
    }

    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

const bool registered = [] {
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);
    return true;
}();

}  // namespace

QPalette lightPalette()
{
    return theme::lightPalette();
}

QPalette darkPalette()
{
    return theme::darkPalette();
}

void setAppPalette(const QPalette& palette)
{
    QApplication::setPalette(palette);
    QApplication::processEvents();
}

QString screenshotPath(const QString& name)
{
    const QString folder = QStringLiteral(TESSALINE_BINARY_DIR "/screenshots/advanced");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name + QStringLiteral(".png");
}

}  // namespace tess::test
