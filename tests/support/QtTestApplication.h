#pragma once

#include "TestEnvironment.h"

#include "log/AppLogger.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThreadPool>
#if __has_include(<QApplication>)
#include <QApplication>
#include <QStyleFactory>
#define TESS_TEST_HAS_WIDGETS 1
#endif

#include <functional>
#include <memory>
#include <string>
#include <type_traits>

namespace tess::test {

// The offscreen platform reports every window feature it lacks; those lines
// say nothing about the code under test.
inline void quietOffscreenMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support"))) {
        return;
    }
    qt_message_output(type, context, message);
}

// A test program's one application object (QCoreApplication or QApplication,
// the widgets ones in the Fusion style) and an isolated home, for the whole
// program. `prepare` runs once the application exists.
template <class Application>
class QtTestApplication : public ::testing::Environment {
public:
    explicit QtTestApplication(std::string programName, std::function<void()> prepare = {})
        : m_name(std::move(programName))
        , m_prepare(std::move(prepare))
    {
    }

    void SetUp() override
    {
        m_home = std::make_unique<IsolatedHome>();
        qInstallMessageHandler(quietOffscreenMessages);
        m_argv[0] = m_name.data();
        m_app = std::make_unique<Application>(m_argc, m_argv);
#ifdef TESS_TEST_HAS_WIDGETS
        if constexpr (std::is_base_of_v<QApplication, Application>) {
            Application::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        }
#endif
        if (m_prepare) {
            m_prepare();
        }
    }

    void TearDown() override
    {
        QThreadPool::globalInstance()->waitForDone();
        AppLogger::shared().flush();
        m_app.reset();
        m_home.reset();
    }

private:
    std::string m_name;
    std::function<void()> m_prepare;
    int m_argc = 1;
    char* m_argv[2] = {nullptr, nullptr};
    std::unique_ptr<IsolatedHome> m_home;
    std::unique_ptr<Application> m_app;
};

}  // namespace tess::test
