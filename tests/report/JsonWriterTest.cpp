#include "report/JsonWriter.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace tess {
namespace {

struct Case {
    const char* name;
    std::function<void(JsonWriter&)> write;
    std::optional<std::string> expected;  // nothing: the writer refuses
};

TEST(JsonWriter, WritesThePrettySortedFormAndRefusesMisuse)
{
    const Case cases[] = {
        {"empty containers", [](JsonWriter& w) {
             w.beginObject();
             w.key("a");
             w.beginArray();
             w.endArray();
             w.key("b");
             w.beginObject();
             w.endObject();
             w.endObject();
         },
            "{\n  \"a\" : [],\n  \"b\" : {}\n}"},
        {"nesting and scalars", [](JsonWriter& w) {
             w.beginArray();
             w.number(-42);
             w.boolean(true);
             w.beginObject();
             w.key("k");
             w.boolean(false);
             w.endObject();
             w.endArray();
         },
            "[\n  -42,\n  true,\n  {\n    \"k\" : false\n  }\n]"},
        {"escapes", [](JsonWriter& w) { w.string("a\"b\\c/d\b\f\n\r\t"); }, R"("a\"b\\c\/d\b\f\n\r\t")"},
        {"other controls as \\u00XX", [](JsonWriter& w) { w.string(std::string("\x00\x01\x1f", 3)); }, R"("\u0000\u0001\u001f")"},
        {"DEL and non-ASCII stay raw", [](JsonWriter& w) { w.string("\x7f"
                                                                    "caf\xc3\xa9 \xe2\x80\xa8 \xf0\x9f\x98\x80"); }, "\"\x7f"
                                                                                "caf\xc3\xa9 \xe2\x80\xa8 \xf0\x9f\x98\x80\""},
        {"keys escaped like strings", [](JsonWriter& w) {
             w.beginObject();
             w.key("a/b");
             w.number(0);
             w.endObject();
         },
            "{\n  \"a\\/b\" : 0\n}"},
        {"a key that is a prefix sorts first", [](JsonWriter& w) {
             w.beginObject();
             w.key("failed");
             w.number(1);
             w.key("failedVerification");
             w.number(2);
             w.endObject();
         },
            "{\n  \"failed\" : 1,\n  \"failedVerification\" : 2\n}"},
        {"keys out of order", [](JsonWriter& w) {
             w.beginObject();
             w.key("b");
             w.number(1);
             w.key("a");
             w.number(2);
             w.endObject();
         },
            std::nullopt},
        {"repeated key", [](JsonWriter& w) {
             w.beginObject();
             w.key("a");
             w.number(1);
             w.key("a");
             w.number(2);
             w.endObject();
         },
            std::nullopt},
        {"invalid UTF-8 string", [](JsonWriter& w) { w.string("caf\xe9"); }, std::nullopt},
        {"invalid UTF-8 key", [](JsonWriter& w) {
             w.beginObject();
             w.key("\xff");
             w.number(1);
             w.endObject();
         },
            std::nullopt},
        {"value without key", [](JsonWriter& w) {
             w.beginObject();
             w.number(1);
             w.endObject();
         },
            std::nullopt},
        {"key without value", [](JsonWriter& w) {
             w.beginObject();
             w.key("a");
             w.endObject();
         },
            std::nullopt},
        {"unclosed", [](JsonWriter& w) { w.beginArray(); }, std::nullopt},
        {"closed with the wrong bracket", [](JsonWriter& w) {
             w.beginArray();
             w.endObject();
         },
            std::nullopt},
        {"two documents", [](JsonWriter& w) {
             w.number(1);
             w.number(2);
         },
            std::nullopt},
        {"nothing written", [](JsonWriter&) {}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JsonWriter writer;
        c.write(writer);
        EXPECT_EQ(writer.finish(), c.expected);
    }
}

}  // namespace
}  // namespace tess
