// Started by the heap restart test: notes each start of main() in the file
// named by its first argument, restarts like the application does, then notes
// what it was left with: its arguments, GLIBC_TUNABLES and the restart markers.

#include "core/HugePageHeap.h"

#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2) {
        return 2;
    }
    std::ofstream(argv[1], std::ios::app) << "start\n";
    tess::startWithHugePageHeap(argv);
    std::ofstream out(argv[1], std::ios::app);
    out << "args=";
    for (int i = 2; i < argc; ++i) {
        out << "[" << argv[i] << "]";
    }
    out << "\n";
    for (const char* name : {"GLIBC_TUNABLES", "TESSALINE_HEAP_RESTART", "TESSALINE_HEAP_ORIGINAL_TUNABLES"}) {
        const char* value = std::getenv(name);
        out << name << "=" << (value != nullptr ? value : "(unset)") << "\n";
    }
    return 0;
}
