#include "HelperDaemon.h"
#include "HelperLogger.h"

#include <csignal>
#include <pthread.h>

#ifdef TESSALINE_HELPER_TEST_SEAMS
#include "ChildProcess.h"
#include "HelperMessage.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <system_error>
#endif

namespace {

tess::HelperDaemon::Config configure()
{
    auto config = tess::HelperDaemon::configFromEnvironment();
#ifdef TESSALINE_HELPER_TEST_SEAMS
    // Test build only: the tests give the daemon accounts of their own and a
    // disk-image program of their own. The installed daemon never reads these.
    if (const char* file = std::getenv("TESSALINE_HELPER_PASSWD_FILE"); file != nullptr && *file != '\0') {
        config.users = tess::UserDirectory(file);
    }
    if (const char* tool = std::getenv("TESSALINE_DISKIMAGE_TOOL"); tool != nullptr && *tool != '\0') {
        config.diskImageTool = tool;
    }
    // A request whose argument ends in "/throw-bad-alloc" or
    // "/throw-system-error" throws that exception in the connection's thread.
    if (const char* faults = std::getenv("TESSALINE_HELPER_FAULTS"); faults != nullptr && std::string(faults) == "1") {
        config.requestHook = [](const tess::HelperRequest& request) {
            for (const auto& argument : request.arguments) {
                auto endsWith = [&](const std::string& tail) {
                    return argument.size() >= tail.size() && argument.compare(argument.size() - tail.size(), tail.size(), tail) == 0;
                };
                if (endsWith("/throw-bad-alloc")) {
                    throw std::bad_alloc();
                }
                if (endsWith("/throw-system-error")) {
                    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again), "thread");
                }
            }
        };
    }
    // The start time of every client's process reads as unreadable, as it
    // does when the client is gone before the daemon looks.
    if (const char* unreadable = std::getenv("TESSALINE_HELPER_START_TIME_UNREADABLE"); unreadable != nullptr && std::string(unreadable) == "1") {
        config.startTimeReader = [](pid_t) { return std::uint64_t {0}; };
    }
    // This program runs between the checks of a rename, an attribute copy or
    // a removal and its change, with the operation's two paths as arguments
    // (to swap a folder for a link meanwhile).
    if (const char* program = std::getenv("TESSALINE_HELPER_CHECKPOINT"); program != nullptr && *program != '\0') {
        config.checkpointHook = [program = std::string(program)](const std::string& first, const std::string& second) {
            tess::ChildProcess::run({program, first, second});
        };
    }
#endif
    return config;
}

}  // namespace

int main()
{
    // Before any thread starts: SIGTERM is only ever read from a signalfd.
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &terminate, nullptr);

    tess::HelperDaemon daemon(tess::HelperLogger::shared(), configure());
    return daemon.run();
}
