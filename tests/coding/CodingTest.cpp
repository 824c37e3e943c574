#include "coding/DecodingError.h"
#include "coding/KeyedDecoder.h"
#include "coding/KeyedEncoder.h"
#include "coding/Uuid.h"
#include "coding/ValueDecoder.h"

#include <gtest/gtest.h>

#include <set>

namespace tess {
namespace {

PlistValue dict(PlistValue::Dictionary d)
{
    return PlistValue(std::move(d));
}

TEST(DecodingErrorTest, MessagesAndKinds)
{
    const Error missing = DecodingError::keyNotFound("type");
    EXPECT_EQ(missing.domain, kDecodingErrorDomain);
    EXPECT_EQ(missing.message, "No value associated with key CodingKeys(stringValue: \"type\", intValue: nil) (\"type\").");
    EXPECT_EQ(DecodingError::kindOf(missing), DecodingError::Kind::keyNotFound);

    const Error raw = DecodingError::invalidRawValue("FilesystemPreset", "hfs+");
    EXPECT_EQ(raw.message, "Cannot initialize FilesystemPreset from invalid String value hfs+");
    EXPECT_EQ(DecodingError::kindOf(raw), DecodingError::Kind::dataCorrupted);

    EXPECT_EQ(DecodingError::kindOf(Error {kAppErrorDomain, 1, "x"}), std::nullopt);
}

TEST(ValueDecoderTest, PrimitivesCheckTheirType)
{
    EXPECT_EQ(*ValueDecoder::decodeString(PlistValue("a")), "a");
    EXPECT_EQ(*ValueDecoder::decodeBool(PlistValue(true)), true);
    EXPECT_EQ(*ValueDecoder::decodeInt64(PlistValue(std::int64_t(9223372036854775807))), 9223372036854775807);
    EXPECT_EQ(*ValueDecoder::decodeInt64(PlistValue(255.0)), 255);

    struct Case {
        Result<std::int64_t> result;
        std::string message;
    };
    const std::vector<Case> failures {
        {ValueDecoder::decodeInt64(PlistValue("12")), "Expected to decode Int but found a string instead."},
        {ValueDecoder::decodeInt64(PlistValue(true)), "Expected to decode Int but found a boolean instead."},
        {ValueDecoder::decodeInt64(PlistValue(2.5)), "Parsed property list number <2.5> does not fit in Int."},
        {ValueDecoder::decodeInt64(PlistValue(1e19)), "Parsed property list number <1e+19> does not fit in Int."},
    };
    for (const Case& c : failures) {
        ASSERT_FALSE(c.result.ok()) << c.message;
        EXPECT_EQ(c.result.error().message, c.message);
    }
    EXPECT_EQ(ValueDecoder::decodeBool(PlistValue(std::int64_t(1))).error().message, "Expected to decode Bool but found a number instead.");
    EXPECT_EQ(ValueDecoder::decodeString(PlistValue(PlistValue::Array {})).error().message, "Expected to decode String but found an array instead.");
}

TEST(ValueDecoderTest, ArrayFailsOnFirstBadElement)
{
    const PlistValue good(PlistValue::Array {PlistValue("a"), PlistValue("b")});
    auto strings = ValueDecoder::decodeArrayOf<std::string>(good, ValueDecoder::decodeString);
    ASSERT_TRUE(strings.ok());
    EXPECT_EQ(*strings, (std::vector<std::string> {"a", "b"}));

    const PlistValue bad(PlistValue::Array {PlistValue("a"), PlistValue(std::int64_t(3))});
    auto failed = ValueDecoder::decodeArrayOf<std::string>(bad, ValueDecoder::decodeString);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(DecodingError::kindOf(failed.error()), DecodingError::Kind::typeMismatch);

    EXPECT_FALSE((ValueDecoder::decodeArrayOf<std::string>(PlistValue("a"), ValueDecoder::decodeString)).ok());
}

TEST(KeyedDecoderTest, RequiredOptionalAndWrongTypes)
{
    const PlistValue value = dict({{"name", PlistValue("x")}, {"flag", PlistValue(true)}, {"n", PlistValue(std::int64_t(7))}});
    auto in = KeyedDecoder::container(value);
    ASSERT_TRUE(in.ok());
    EXPECT_EQ(*in->decodeString("name"), "x");
    EXPECT_EQ(*in->decodeInt64("n"), 7);
    EXPECT_EQ(in->decodeBoolIfPresent("absent")->has_value(), false);
    EXPECT_EQ(**in->decodeBoolIfPresent("flag"), true);

    EXPECT_EQ(DecodingError::kindOf(in->decodeString("absent").error()), DecodingError::Kind::keyNotFound);
    // A present value of the wrong type fails also when the key is optional.
    EXPECT_EQ(DecodingError::kindOf(in->decodeStringIfPresent("flag").error()), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(DecodingError::kindOf(in->nestedContainer("name").error()), DecodingError::Kind::typeMismatch);

    auto notDict = KeyedDecoder::container(PlistValue("x"));
    ASSERT_FALSE(notDict.ok());
    EXPECT_EQ(notDict.error().message, "Expected to decode Dictionary<String, Any> but found a string instead.");
}

TEST(KeyedEncoderTest, OptionalValuesAreLeftOut)
{
    KeyedEncoder out;
    out.encode("a", PlistValue(std::int64_t(1)));
    out.encodeIfPresent("b", std::optional<std::string>());
    out.encodeIfPresent("c", std::optional<std::string>("x"));
    const PlistValue value = out.take();
    EXPECT_EQ(value, dict({{"a", PlistValue(std::int64_t(1))}, {"c", PlistValue("x")}}));
}

TEST(UuidTest, StandardFormRoundTripsAndRejectsMalformedText)
{
    const Uuid a = Uuid::random();
    const Uuid b = Uuid::random();
    EXPECT_NE(a, b);
    const std::string text = a.toString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');  // version 4
    EXPECT_EQ(Uuid::fromString(text), a);

    const auto parsed = Uuid::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->toString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

    for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5", "G621E1F8-C36C-495A-93FC-0C247A3E6E5F",
             "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0", "E621E1F-8C36C-495A-93FC-0C247A3E6E5F"}) {
        EXPECT_FALSE(Uuid::fromString(bad)) << bad;
    }
    auto decoded = Uuid::decode(PlistValue("nope"));
    ASSERT_FALSE(decoded.ok());
    EXPECT_EQ(decoded.error().message, "Attempted to decode UUID from invalid UUID string.");
    EXPECT_EQ(*Uuid::decode(a.encode()), a);

    std::set<Uuid> many;
    for (int i = 0; i < 1000; ++i) {
        many.insert(Uuid::random());
    }
    EXPECT_EQ(many.size(), 1000u);
}

}  // namespace
}  // namespace tess
