#include "DiskImageTool.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // losetup, mount and umount are found in the system's folders only.
    ::setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
    const char* base = std::getenv(tess::DiskImageTool::kMountBaseVariable);
    tess::DiskImageTool tool(base != nullptr && *base != '\0' ? base : tess::DiskImageTool::kDefaultMountBase);
    std::vector<std::string> args(argv + 1, argv + argc);
    int status = tool.run(args, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
