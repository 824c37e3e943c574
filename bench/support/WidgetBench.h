#pragma once

// What the benchmarks of the widgets share: a desktop that does nothing, a
// wait that keeps the event loop turning, and the start of the program
// (offscreen, the Fusion style, an isolated home). Header-only.

#include "BenchEnvironment.h"
#include "ui/widgets/Workspace.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QString>
#include <QUrl>

#include <cstdlib>
#include <functional>
#include <string>

namespace tess::bench {

class NoWorkspace : public Workspace {
public:
    void revealPath(const std::string&) override { }
    void openUrl(const QUrl&) override { }
    void copyText(const QString&) override { }
};

inline void waitFor(const std::function<bool()>& done)
{
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

// Points the home into a scratch folder, starts an offscreen application
// (unless QT_QPA_PLATFORM names a platform) in the Fusion style and runs the
// registered benchmarks.
inline int runWidgetBenchmarks(int argc, char** argv)
{
    isolateHome();
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication::setStyle(QStringLiteral("Fusion"));
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace tess::bench
