#include "HelperDaemon.h"
#include "HelperLogger.h"

#include <csignal>
#include <pthread.h>

#ifdef TESSALINE_HELPER_TEST_SEAMS
#include <cstdlib>
#endif

namespace {

tess::HelperDaemon::Config configure()
{
    auto config = tess::HelperDaemon::configFromEnvironment();
#ifdef TESSALINE_HELPER_TEST_SEAMS
    // Test build only: the tests give the daemon accounts of their own and a
    // disk-image program of their own. The installed daemon never reads these.
    if (const char* file = std::getenv("TESSALINE_HELPER_PASSWD_FILE"); file != nullptr && *file != '\0')
        config.users = tess::UserDirectory(file);
    if (const char* tool = std::getenv("TESSALINE_DISKIMAGE_TOOL"); tool != nullptr && *tool != '\0')
        config.diskImageTool = tool;
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
