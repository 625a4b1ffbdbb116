// The JSON every program of the project writes for scripts and reads back.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cardwork/json/json_document.h"

namespace cardwright {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(JsonDocument, WritesMembersInTheirOrderADocumentOrALine) {
    const Json value = Json::object({
        {"zeta", 1},
        {"alpha", Json::array({"a", nullptr, true})},
        {"empty_list", Json::array()},
        {"empty_object", Json::object()},
        {"seconds", 16.3},
    });
    EXPECT_EQ(JsonText(value),
              "{\n"
              "  \"zeta\": 1,\n"
              "  \"alpha\": [\n"
              "    \"a\",\n"
              "    null,\n"
              "    true\n"
              "  ],\n"
              "  \"empty_list\": [],\n"
              "  \"empty_object\": {},\n"
              "  \"seconds\": 16.3\n"
              "}");
    EXPECT_EQ(JsonLine(value),
              "{\"zeta\":1,\"alpha\":[\"a\",null,true],\"empty_list\":[],\"empty_object\":{},"
              "\"seconds\":16.3}\n");

    // A text's own line breaks stay escaped: an event is one line, whatever it holds.
    std::ostringstream out;
    PrintJsonLine(out, Json::object({{"note", "two\nlines\r"}}));
    PrintJsonLine(out, Json::object({{"note", "next"}}));
    PrintJsonDocument(out, Json::array());
    EXPECT_EQ(out.str(), "{\"note\":\"two\\nlines\\r\"}\n{\"note\":\"next\"}\n[]\n");
}

// Every character from U+0001 to U+007F, and some beyond, read back as they were written.
TEST(JsonDocument, ReadsBackWhatItWrites) {
    std::string every;
    for (int c = 1; c < 0x80; ++c) {
        every += static_cast<char>(c);
    }
    every += "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const Json value =
        Json::object({{"text", every},
                      {"numbers", Json::array({0, -9007199254740993, 18446744073709551615u, 0.25})},
                      {"nested", Json::object({{"list", Json::array({Json::object()})}})}});
    const ParsedJson parsed = ParseJson(JsonText(value));
    ASSERT_TRUE(parsed.value) << parsed.error;
    EXPECT_EQ(*parsed.value, value);
    EXPECT_EQ(JsonText(*parsed.value), JsonText(value)) << "the members keep their order";
    EXPECT_EQ(ParseJson(R"("\u00e9\ud83d\ude00")").value, Json("\xC3\xA9\xF0\x9F\x98\x80"));
}

// JSON cannot carry a byte that is not part of valid UTF-8: written or read, it is U+FFFD, and
// the rest of the text stays as it was.
TEST(JsonDocument, BytesThatAreNotUtf8BecomeTheReplacementCharacter) {
    const struct {
        const char* bytes;
        std::string text;
    } cases[] = {
        {"r\xE9glages", "r" + kReplacement + "glages"},    // Latin-1
        {"cut \xC3", "cut " + kReplacement},               // a sequence cut short
        {"\xC0\xAF/", kReplacement + kReplacement + "/"},  // an overlong '/'
        {"\xED\xA0\x80.", kReplacement + kReplacement + kReplacement + "."},  // a surrogate
        {"ok \xC3\xA9", "ok \xC3\xA9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::string written = JsonText(Json::array({c.bytes}));
        EXPECT_EQ(written, "[\n  \"" + c.text + "\"\n]");
        const ParsedJson read = ParseJson(std::string("[\"") + c.bytes + "\"]");
        ASSERT_TRUE(read.value) << read.error;
        EXPECT_EQ(read.value->at(0), c.text);
        EXPECT_EQ(JsonLine(c.bytes), "\"" + c.text + "\"\n");
    }
}

TEST(JsonDocument, RefusesWhatIsNoValueOrIsAmbiguous) {
    for (const char* bad :
         {"", "{", "[1,]", "{\"a\":1,}", "{\"a\" 1}", "01", "1.", "1e", "-", "\"cut", "\"\\x\"",
          "\"\\ud800\"", "[1] 2", "nul", "\"tab\there\"", "// note\n1", "1e999", "NaN"}) {
        const ParsedJson parsed = ParseJson(bad);
        EXPECT_FALSE(parsed.value) << bad;
        EXPECT_FALSE(parsed.error.empty()) << bad;
    }
    EXPECT_EQ(ParseJson("[1, 2,]").error,
              "parse error at line 1, column 7: syntax error while parsing value - unexpected "
              "']'; expected '[', '{', or a literal");

    const ParsedJson twice = ParseJson("{\"a\": {\"b\": 1, \"b\": 2}}");
    EXPECT_FALSE(twice.value);
    EXPECT_EQ(twice.error, "the member \"b\" twice");
    EXPECT_TRUE(ParseJson("[{\"b\": 1}, {\"b\": 2}]").value) << "one name in each of two objects";

    const auto nested = [](size_t levels) {
        return std::string(levels, '[') + std::string(levels, ']');
    };
    EXPECT_TRUE(ParseJson(nested(kJsonMaxDepth)).value);
    EXPECT_EQ(ParseJson(nested(kJsonMaxDepth + 1)).error, "nested deeper than 32 levels");
    EXPECT_FALSE(ParseJson(nested(1'000'000)).value) << "refused without running out of stack";
}

}  // namespace
}  // namespace cardwright
