#include "ui/help/AboutTexts.h"
#include "ui/help/BundleInfo.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

TEST(AboutTextsTest, VersionStringReadsTextValuesOnly)
{
    struct Case {
        const char* name;
        QVariantMap info;
        const char* text;
    };
    const Case cases[] = {
        {"normal", {{"version", "1.2.0"}, {"build", "42"}}, "Version 1.2.0 (42)"},
        {"both missing", {}, "Version Unknown (Unknown)"},
        {"build as a number", {{"version", "1.2.0"}, {"build", 42}}, "Version 1.2.0 (Unknown)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AboutTexts::versionString(c.info).toStdString(), c.text);
    }
    EXPECT_TRUE(AboutTexts::versionString(bundleInfo()).startsWith(QStringLiteral("Version 1.0.0 (")));
    EXPECT_EQ(AboutTexts::acknowledgmentsTitle(false), QStringLiteral("Acknowledgments"));
    EXPECT_EQ(AboutTexts::boxHeight(true), 480);
}

}  // namespace
}  // namespace tess
