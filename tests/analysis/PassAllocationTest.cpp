// The per-item passes run for every scanned item: a path that none of them
// changes must pass through without a single heap allocation. The global
// allocation functions of this test program count the allocations made on
// the calling thread while a counting scope is open.

#include "AnalyzerTestSupport.h"

#include "analysis/PerItemPasses.h"
#include "rules/RuleTypes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {

thread_local bool t_counting = false;
thread_local std::size_t t_allocations = 0;

// Counts the allocations of this thread for its lifetime.
class AllocationCount {
public:
    AllocationCount()
    {
        t_allocations = 0;
        t_counting = true;
    }
    ~AllocationCount() { t_counting = false; }
    AllocationCount(const AllocationCount&) = delete;
    AllocationCount& operator=(const AllocationCount&) = delete;
    std::size_t value() const { return t_allocations; }
};

}  // namespace

// The replacements hand out malloc's memory and give it back with free;
// the compiler cannot see that pairing through the inlined library code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

void* countedAllocation(std::size_t size) noexcept
{
    if (t_counting) {
        ++t_allocations;
    }
    return std::malloc(size == 0 ? 1 : size);
}

void* countedAllocationOrThrow(std::size_t size)
{
    if (void* memory = countedAllocation(size)) {
        return memory;
    }
    throw std::bad_alloc();
}

}  // namespace

// Every plain form is replaced, so that no memory crosses between these and
// another implementation (a sanitizer's, for one).
void* operator new(std::size_t size)
{
    return countedAllocationOrThrow(size);
}
void* operator new[](std::size_t size)
{
    return countedAllocationOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return countedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return countedAllocation(size);
}
void operator delete(void* memory) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

#pragma GCC diagnostic pop

namespace tess {
namespace {

TEST(PassAllocations, AnUnchangedPathCostsNoAllocation)
{
    const auto windows = [](TargetEncoding encoding) {
        auto settings = TransformationSettings::make(FilesystemPreset::ntfs, false, {OSPreset::windows, OSPreset::linux});
        settings.targetEncoding = encoding;
        settings.cleanRepeatedSeparators = true;
        settings.stripLeadingCharacters = {" ", "#", "-"};
        settings.stripTrailingCharacters = {" ", "."};
        settings.maxPathDepth = 20;
        return settings;
    };
    struct Case {
        const char* label;
        TransformationSettings settings;
        std::string path;
        bool isDirectory;
    };
    // Long enough that any copy of a path or a component needs the heap.
    const std::string ascii = "Documents and settings/Project files 2023/quarterly report-final_v2.txt";
    const std::string accented = "Donn\xC3\xA9"
                                 "es partag\xC3\xA9"
                                 "es/\xC3\xA9t\xC3\xA9 2021 \xE6\x97\xA5\xE6\x9C\xAC/r\xC3\xA9sum\xC3\xA9 final.txt";
    const std::vector<Case> cases = {
        {"defaults, ASCII file", TransformationSettings {}, ascii, false},
        {"defaults, accented file", TransformationSettings {}, accented, false},
        {"NTFS full, ASCII folder", windows(TargetEncoding::utf8Full), ascii, true},
        {"NTFS full, accented file", windows(TargetEncoding::utf8Full), accented, false},
        {"NTFS NFC, accented file", windows(TargetEncoding::utf8FullNFC), accented, false},
        {"NTFS basic, accented file", windows(TargetEncoding::utf8Basic), accented, false},
        {"NTFS ASCII, ASCII file", windows(TargetEncoding::asciiOnly), ascii, false},
    };
    for (const Case& c : cases) {
        const PerItemPasses passes(c.settings, 3, [](std::string, std::string_view, std::string_view, int) {});
        TransliterationCaches caches;
        PerItemPasses::Issues issues;
        std::optional<std::string> tooDeep;
        std::string path = c.path;
        const auto runPasses = [&] {
            passes.applyEncoding(path, issues, caches);
            passes.applyTranslationTable(path, issues);
            passes.stripCharacters(path, issues);
            passes.collapseRepeatedSeparators(path, issues);
            passes.enforceLimits(path, c.isDirectory, issues, tooDeep);
        };
        runPasses();  // warms what the passes keep per thread
        ASSERT_EQ(path, c.path) << c.label;
        ASSERT_TRUE(issues.empty()) << c.label;

        std::size_t allocations = 0;
        {
            const AllocationCount count;
            runPasses();
            allocations = count.value();
        }
        EXPECT_EQ(allocations, 0u) << c.label;
        EXPECT_EQ(path, c.path) << c.label;
    }
}

}  // namespace
}  // namespace tess
