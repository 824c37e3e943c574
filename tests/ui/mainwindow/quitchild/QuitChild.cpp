// A program the quit tests run and watch from outside: the main window as
// the application composes it, the application's quit path (the Quit
// command and SIGTERM), and an index database with a write queued that
// waits until "release" arrives on stdin. Once running it asks to quit
// twice, closes the sheet and asks once more, as an impatient user would,
// then tells on stdout what it saw:
//   "sheet shown", "sheet closed", "sheet shown again", then "waiting";
//   "signal N" for each signal that reached the quit path;
//   "quit with the sheet open" and "pending writes N" once the event loop
//   has ended.
// The first argument is the index database's path. The environment (HOME,
// XDG folders, QT_QPA_PLATFORM) is the caller's.

#include "ComposedMainWindow.h"
#include "TempDir.h"

#include "index/FileIndexDatabase.h"
#include "model/UnixSignalWatcher.h"
#include "ui/mainwindow/ApplicationQuit.h"

#include <QApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

using namespace tess;

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// One result for `root`, written once `release` is read on stdin.
void queueHeldWrite(FileIndexDatabase& database, const std::string& root)
{
    database.performAsync([&database, root] {
        std::string line;
        while (std::getline(std::cin, line) && line != "release") {
        }
        FileTransformationResult result;
        result.originalRelativePath = "saved before the quit.txt";
        result.finalRelativePath = result.originalRelativePath;
        result.originalFile = FileItem {root + "/" + result.originalRelativePath, false};
        database.upsertFiles({result}, root, std::chrono::system_clock::now());
    });
}

void askToQuitImpatiently(ShellActions& actions, const ApplicationQuit& quit)
{
    actions.quit()->trigger();
    if (QDialog* sheet = quit.sheet(); sheet != nullptr && sheet->isVisible()) {
        say("sheet shown");
        actions.quit()->trigger();
        sheet->close();
        if (!sheet->isVisible()) {
            say("sheet closed");
        }
    }
    actions.quit()->trigger();
    if (const QDialog* sheet = quit.sheet(); sheet != nullptr && sheet->isVisible()) {
        say("sheet shown again");
    }
    say("waiting");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return 2;
    }
    const std::string databasePath = argv[1];
    QApplication app(argc, argv);
    test::TempDir dir;
    test::ComposedMainWindow window(dir);
    window.show();

    ApplicationQuit quit(window.windows(), window.contentPointer());
    quit.listenTo(window.actions());
    UnixSignalWatcher signalWatcher({SIGTERM});
    quit.listenTo(signalWatcher);
    QObject::connect(&signalWatcher, &UnixSignalWatcher::signalReceived, [](int number) { say("signal " + std::to_string(number)); });

    auto opened = FileIndexDatabase::open(databasePath);
    if (!opened.ok()) {
        say("cannot open the index: " + opened.error().message);
        return 3;
    }
    queueHeldWrite(*opened.value(), dir.path());

    QTimer::singleShot(0, &app, [&] { askToQuitImpatiently(window.actions(), quit); });
    const int status = QApplication::exec();

    const QDialog* sheet = quit.sheet();
    say(sheet != nullptr && sheet->isVisible() ? "quit with the sheet open" : "quit without the sheet");
    say("pending writes " + std::to_string(FileIndexDatabase::pendingWorkCountOfAllDatabases()));
    return status;
}
