#include "index/ShortenedComponentsJson.h"

#include <gtest/gtest.h>

namespace tess {
namespace {

using Map = ShortenedComponentsJson::Map;

TEST(ShortenedComponentsJson, EncodesCompactlyAndRoundTrips)
{
    EXPECT_EQ(ShortenedComponentsJson::encode({}), std::nullopt);
    EXPECT_EQ(ShortenedComponentsJson::encode({{"a", "b"}}), R"({"a":"b"})");
    // The stored form, to the byte: "/" stays plain, controls are \u00xx.
    EXPECT_EQ(ShortenedComponentsJson::encode({{"a/b", "c\x01\x1f\"d"}}), R"({"a/b":"c\u0001\u001f\"d"})");
    const Map tricky = {{"quote\"back\\slash", "tab\tnew\nline\x01"}, {"ünï/cödé 🎉", "x"}, {"", "empty key"}};
    const auto json = ShortenedComponentsJson::encode(tricky);
    ASSERT_TRUE(json.has_value());
    EXPECT_NE(json->find(R"(\"back\\slash)"), std::string::npos);
    EXPECT_NE(json->find(R"(\t)"), std::string::npos);
    EXPECT_NE(json->find(R"(\u0001)"), std::string::npos);
    EXPECT_EQ(ShortenedComponentsJson::decode(*json), tricky);
    // JSON cannot carry bytes that are not UTF-8.
    EXPECT_EQ(ShortenedComponentsJson::encode({{"a", "\xFF"}}), std::nullopt);
}

TEST(ShortenedComponentsJson, DecodesOnlyAnObjectOfStrings)
{
    const std::vector<std::pair<std::string, Map>> cases = {
        {R"({})", {}},
        {R"( { "k" : "v" , "x":"\u00e9\ud83c\udf89\/" } )", {{"k", "v"}, {"x", "é🎉/"}}},
        {R"({"k":1})", {}},
        {R"({"k":"v","n":null})", {}},
        {R"({"k":["v"]})", {}},
        {R"(["k","v"])", {}},
        {R"("k")", {}},
        {R"({"k":"v"} trailing)", {}},
        {R"({"k":"v",})", {}},
        {R"({"k":"v")", {}},
        {R"({"k":"\ud83c"})", {}},
        {R"({"k":"\x"})", {}},
        {"{\"k\":\"a\nb\"}", {}},
        {"{\"k\":\"\xFF\"}", {}},
        {"", {}},
    };
    for (const auto& [json, expected] : cases) {
        EXPECT_EQ(ShortenedComponentsJson::decode(json), expected) << json;
    }
}

}  // namespace
}  // namespace tess
