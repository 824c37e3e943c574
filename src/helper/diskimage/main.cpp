#include "ChildProcess.h"
#include "DiskImageTool.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // losetup, mount and umount are found in the system's folders only.
    ::setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
    std::string base = tess::DiskImageTool::kDefaultMountBase;
#ifdef TESSALINE_HELPER_TEST_SEAMS
    // Test build only: mount below a folder of the test's own.
    if (const char* configured = std::getenv("TESSALINE_DISKIMAGE_MOUNT_BASE"); configured != nullptr && *configured != '\0') {
        base = configured;
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
