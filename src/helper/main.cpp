#include "HelperDaemon.h"
#include "HelperLogger.h"

#include <csignal>
#include <pthread.h>

int main()
{
    // Before any thread starts: SIGTERM is only ever read from a signalfd.
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &terminate, nullptr);

    tess::HelperDaemon daemon(tess::HelperLogger::shared(), tess::HelperDaemon::configFromEnvironment());
    return daemon.run();
}
