#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tess {

// A scan of a large tree allocates hundreds of megabytes in a few seconds;
// with 4 KiB pages the page faults can cost as much as the work itself. The
// C library (glibc 2.35 and later) backs its heap with transparent huge pages
// when the tunable glibc.malloc.hugetlb=1 is set, which matters where the
// system leaves huge pages to the program (mode "madvise"). The tunable is
// read only when a process starts, so the process starts itself again, once,
// with it set; the environment is then put back as it was, so that programs
// it starts later do not inherit the setting.
//
// Call first thing in main(), before any thread is started. It does nothing
// when the system's mode is not "madvise", when the C library lacks the
// tunable, when GLIBC_TUNABLES already chooses a value for it, or when the
// restart fails (the process then goes on as it is).
void startWithHugePageHeap(char** argv);

namespace hugepageheap {

enum class Mode { always,
    madvise,
    never,
    unknown };

// The mode marked "[...]" in the text of
// /sys/kernel/mm/transparent_hugepage/enabled.
Mode modeOf(std::string_view enabledText);
// The system's mode, read from /sys/kernel/mm/transparent_hugepage/enabled.
Mode systemMode();
// Whether a glibc version text ("2.36") is 2.35 or later.
bool libcHasTunable(std::string_view version);
// GLIBC_TUNABLES with glibc.malloc.hugetlb=1 added to `current` (null when
// unset); absent when `current` already sets glibc.malloc.hugetlb.
std::optional<std::string> tunablesWithHugePages(const char* current);

}  // namespace hugepageheap

}  // namespace tess
