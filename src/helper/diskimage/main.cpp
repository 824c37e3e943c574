#include "ChildProcess.h"
#include "DiskImageTool.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv)
{
    const pid_t parent = ::getppid();
    // losetup, mount and umount are found in the system's folders only.
    ::setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
    // Stopped by the daemon at its time limit or as it exits: an attach
    // undoes its work.
    struct sigaction stop { };
    stop.sa_handler = [](int) { tess::DiskImageTool::stop(); };
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGTERM, &stop, nullptr);
    // Nothing is done for a daemon that is gone: its end stops this program
    // too, however it ended.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) {
        tess::DiskImageTool::stop();
    }
    std::string base = tess::DiskImageTool::kDefaultMountBase;
#ifdef TESSALINE_HELPER_TEST_SEAMS
    // Test build only: mount below a folder of the test's own.
    if (const char* configured = std::getenv("TESSALINE_DISKIMAGE_MOUNT_BASE"); configured != nullptr && *configured != '\0') {
        base = configured;
    }
    // Test build only: a time limit of its own for the programs it runs.
    if (const char* limit = std::getenv("TESSALINE_DISKIMAGE_CHILD_TIME_LIMIT"); limit != nullptr && *limit != '\0') {
        ::setenv(tess::ChildProcess::kTimeLimitVariable, limit, 1);
    }
    // Test build only: losetup, mount and umount of the test's own first.
    if (const char* programs = std::getenv("TESSALINE_DISKIMAGE_PROGRAMS"); programs != nullptr && *programs != '\0') {
        ::setenv("PATH", (std::string(programs) + ":/usr/sbin:/usr/bin:/sbin:/bin").c_str(), 1);
    }
#endif
    // The daemon's limit for its children, from the unit; the programs run
    // here are bounded by it too.
    tess::DiskImageTool tool(base, tess::ChildProcess::timeLimitFromEnvironment());
    std::vector<std::string> args(argv + 1, argv + argc);
    int status = tool.run(args, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
