#include "core/HugePageHeap.h"

#include <gnu/libc-version.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace tess {

namespace hugepageheap {

namespace {

constexpr const char* kTunables = "GLIBC_TUNABLES";
constexpr std::string_view kHugePageTunable = "glibc.malloc.hugetlb";
// Set across the restart: "set" or "unset", what GLIBC_TUNABLES was before.
constexpr const char* kRestartMarker = "TESSALINE_HEAP_RESTART";
// Across the restart, GLIBC_TUNABLES as it was when it was set.
constexpr const char* kOriginalTunables = "TESSALINE_HEAP_ORIGINAL_TUNABLES";

// Puts GLIBC_TUNABLES back as the marker says it was and drops the markers.
void restoreEnvironment(const char* marker)
{
    const char* original = std::getenv(kOriginalTunables);
    if (std::string_view(marker) == "set" && original != nullptr) {
        setenv(kTunables, original, 1);
    } else {
        unsetenv(kTunables);
    }
    unsetenv(kOriginalTunables);
    unsetenv(kRestartMarker);
}

}  // namespace

Mode modeOf(std::string_view enabledText)
{
    const std::size_t open = enabledText.find('[');
    const std::size_t close = enabledText.find(']', open);
    if (open == std::string_view::npos || close == std::string_view::npos) {
        return Mode::unknown;
    }
    const std::string_view chosen = enabledText.substr(open + 1, close - open - 1);
    return chosen == "always" ? Mode::always : chosen == "madvise" ? Mode::madvise
        : chosen == "never"                                        ? Mode::never
                                                                   : Mode::unknown;
}

Mode systemMode()
{
    std::ifstream file("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string text;
    std::getline(file, text);
    return modeOf(text);
}

bool libcHasTunable(std::string_view version)
{
    int major = 0;
    int minor = 0;
    std::size_t i = 0;
    const auto number = [&](int& out) {
        const std::size_t start = i;
        while (i < version.size() && version[i] >= '0' && version[i] <= '9' && i - start < 6) {
            out = out * 10 + (version[i] - '0');
            ++i;
        }
        return i > start;
    };
    if (!number(major) || i >= version.size() || version[i] != '.') {
        return false;
    }
    ++i;
    if (!number(minor)) {
        return false;
    }
    return major > 2 || (major == 2 && minor >= 35);
}

std::optional<std::string> tunablesWithHugePages(const char* current)
{
    const std::string_view text = current != nullptr ? std::string_view(current) : std::string_view();
    // Entries are "name=value", separated by ":".
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(':', start), text.size());
        const std::string_view entry = text.substr(start, end - start);
        if (entry.substr(0, entry.find('=')) == kHugePageTunable) {
            return std::nullopt;
        }
        start = end + 1;
    }
    std::string tunables(text);
    if (!tunables.empty()) {
        tunables += ':';
    }
    tunables += kHugePageTunable;
    tunables += "=1";
    return tunables;
}

}  // namespace hugepageheap

void startWithHugePageHeap(char** argv)
{
    using namespace hugepageheap;
    if (const char* marker = std::getenv(kRestartMarker)) {
        restoreEnvironment(marker);
        return;
    }
    const char* current = std::getenv(kTunables);
    const std::optional<std::string> tunables = tunablesWithHugePages(current);
    if (!tunables || argv == nullptr || argv[0] == nullptr || !libcHasTunable(gnu_get_libc_version())
        || systemMode() != Mode::madvise) {
        return;
    }
    setenv(kRestartMarker, current != nullptr ? "set" : "unset", 1);
    if (current != nullptr) {
        setenv(kOriginalTunables, current, 1);
    }
    setenv(kTunables, tunables->c_str(), 1);
    execv("/proc/self/exe", argv);
    // Still here: the restart failed, and the process goes on as it is.
    restoreEnvironment(std::getenv(kRestartMarker));
}

}  // namespace tess
