#include "FieldsTestApp.h"

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
        m_light = QApplication::palette();
    }

    void TearDown() override { m_app.reset(); }

    static inline QPalette m_light;

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
    return ApplicationEnvironment::m_light;
}

QPalette darkPalette()
{
    QPalette dark;
    const QColor window(0x2B, 0x2B, 0x2D);
    const QColor base(0x1E, 0x1E, 0x20);
    const QColor text(0xEC, 0xEC, 0xEC);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3C));
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::Highlight, QColor(0x2F, 0x6F, 0xD0));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::ToolTipBase, window);
    dark.setColor(QPalette::ToolTipText, text);
    QColor placeholder = text;
    placeholder.setAlpha(128);
    dark.setColor(QPalette::PlaceholderText, placeholder);
    dark.setColor(QPalette::Light, QColor(0x4A, 0x4A, 0x4C));
    dark.setColor(QPalette::Midlight, QColor(0x3F, 0x3F, 0x41));
    dark.setColor(QPalette::Mid, QColor(0x30, 0x30, 0x32));
    dark.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1A));
    dark.setColor(QPalette::Shadow, Qt::black);
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return dark;
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
