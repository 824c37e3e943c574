#pragma once

// What the benchmark programs share about their surroundings: scratch
// folders, an isolated home, the sizes to run and the process's memory.
// Header-only.

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tess::bench {

// A fresh folder /tmp/tessaline-bench-<name>-XXXXXX; empty when none could be made.
inline std::string makeTempDir(const char* name)
{
    std::string pattern = std::string("/tmp/tessaline-bench-") + name + "-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

// Points HOME and the XDG folders into a fresh scratch folder and returns it
// (empty, and nothing changed, when none could be made). Call it before
// anything can log.
inline std::string isolateHome(const char* name = "home")
{
    const std::string base = makeTempDir(name);
    if (base.empty()) {
        return base;
    }
    setenv("HOME", base.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (base + "/.local/share").c_str(), 1);
    setenv("XDG_STATE_HOME", (base + "/.local/state").c_str(), 1);
    setenv("XDG_CACHE_HOME", (base + "/.cache").c_str(), 1);
    return base;
}

// The item counts to run: the comma-separated list in `variable`, else 10^5 and 10^6.
inline std::vector<long> sizesFromEnvironment(const char* variable)
{
    std::vector<long> values;
    const char* text = std::getenv(variable);
    std::stringstream in(text != nullptr && *text != '\0' ? text : "100000,1000000");
    for (std::string part; std::getline(in, part, ',');) {
        if (const long value = std::atol(part.c_str()); value > 0) {
            values.push_back(value);
        }
    }
    return values;
}

// Starts a new peak of the resident set (Linux: writing 5 to clear_refs).
inline void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// A field of /proc/self/status in kB ("VmHWM:", "VmRSS:"), as MiB.
inline double statusMiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::strtod(line.c_str() + field.size(), nullptr) / 1024.0;
        }
    }
    return 0;
}

}  // namespace tess::bench
