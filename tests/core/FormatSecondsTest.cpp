// Time spans in log lines: fixed decimals with a "." whatever the process's
// locale says.

#include "core/FormatSeconds.h"
#include "TempDir.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <locale.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace tess {
namespace {

struct SecondsCase {
    double seconds;
    int decimals;
    const char* expected;
};

// Exact binary ties round to even, as printf does.
const std::vector<SecondsCase> kCases = {
    {0.0, 2, "0.00"},
    {0.004, 2, "0.00"},
    {0.125, 2, "0.12"},
    {0.375, 2, "0.38"},
    {1.5, 2, "1.50"},
    {12.3456, 3, "12.346"},
    {0.0625, 3, "0.062"},
    {3.14159, 1, "3.1"},
    {1234567.891, 2, "1234567.89"},
};

void expectTable()
{
    for (const auto& [seconds, decimals, expected] : kCases) {
        EXPECT_EQ(formatSeconds(seconds, decimals), expected) << seconds << " with " << decimals;
    }
}

// A locale whose decimal mark is ",", compiled into a temporary folder (no
// installed locale needed), used by the calling thread while it exists.
class CommaDecimalLocale {
public:
    CommaDecimalLocale()
    {
        m_dir.writeFile("comma.src",
            "LC_NUMERIC\n"
            "decimal_point \"<U002C>\"\n"
            "thousands_sep \"<U002E>\"\n"
            "grouping 3;3\n"
            "END LC_NUMERIC\n");
        const std::string command = "localedef -c -i '" + (m_dir / "comma.src") + "' '" + (m_dir / "comma") + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) == -1) {
            return;
        }
        const test::ScopedEnv path("LOCPATH", m_dir.path());
        {
#if defined(__SANITIZE_ADDRESS__)
            // glibc's newlocale drops its copy of LOCPATH without freeing it.
            const __lsan::ScopedDisabler ignoreLocalePathCopy;
#endif
            m_locale = newlocale(LC_NUMERIC_MASK, "comma", static_cast<locale_t>(nullptr));
        }
        if (m_locale != static_cast<locale_t>(nullptr)) {
            m_previous = uselocale(m_locale);
        }
    }
    ~CommaDecimalLocale()
    {
        if (m_locale != static_cast<locale_t>(nullptr)) {
            uselocale(m_previous);
            freelocale(m_locale);
        }
    }
    CommaDecimalLocale(const CommaDecimalLocale&) = delete;
    CommaDecimalLocale& operator=(const CommaDecimalLocale&) = delete;

    bool active() const
    {
        return m_locale != static_cast<locale_t>(nullptr);
    }

private:
    test::TempDir m_dir;
    locale_t m_locale = static_cast<locale_t>(nullptr);
    locale_t m_previous = static_cast<locale_t>(nullptr);
};

TEST(LogSecondsFormat, FixedDecimalsWithAPoint)
{
    expectTable();
}

TEST(LogSecondsFormat, APointEvenWhereTheLocaleWritesAComma)
{
    const CommaDecimalLocale comma;
    if (!comma.active()) {
        GTEST_SKIP() << "localedef could not build a test locale";
    }
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.2f", 1.5);
    ASSERT_STREQ(printed, "1,50") << "the test locale is not in effect";
    expectTable();
}

}  // namespace
}  // namespace tess
