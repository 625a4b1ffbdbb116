#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "carvex/platform/code_page.h"
#include "carvex/platform/utf8_text.h"

namespace carvex {
namespace {

// Texts of the LED page, in UTF-8 and as a Chinese Windows writes them (CP936).
struct Sample {
    std::string utf8;
    std::string cp936;
};
const Sample kSamples[] = {
    {"灭", "\xc3\xf0"},
    {"蓝色", "\xc0\xb6\xc9\xab"},
    {"注册上G",
     "\xd7\xa2\xb2\xe1\xc9\xcf"
     "G"},
    {"设备被删除", "\xc9\xe8\xb1\xb8\xb1\xbb\xc9\xbe\xb3\xfd"},
    {"€ é", "\x80 \xa8\xa6"},
};

long Count(const std::string& text, char c) {
    return std::count(text.begin(), text.end(), c);
}

TEST(CodePage, ConvertsCp936BothWaysUnderEitherName) {
    for (const char* name : {"CP936", "GBK"}) {
        const CodePage code_page(name);
        EXPECT_TRUE(code_page.Known()) << name;
        for (const auto& sample : kSamples) {
            const auto decoded = code_page.ToUtf8(sample.cp936);
            EXPECT_TRUE(decoded.exact) << sample.utf8;
            EXPECT_EQ(decoded.text, sample.utf8);
            EXPECT_EQ(code_page.FromUtf8(sample.utf8), sample.cp936) << sample.utf8;
        }
    }
    const CodePage western("CP1252");
    EXPECT_EQ(western.ToUtf8("Caf\xe9").text, "Café");
    EXPECT_EQ(western.FromUtf8("Café"), "Caf\xe9");
}

TEST(CodePage, WritesNoSubstituteForACharacterItLacks) {
    const CodePage chinese("CP936");
    // Hangul, an emoji, a letter GBK does not have, and bytes that are no UTF-8.
    for (const std::string text : {"한", "ok 😀", "Straße", "\xff"}) {
        EXPECT_EQ(chinese.FromUtf8(text), std::nullopt) << text;
    }
    // A look-alike ("a" for "ā") would be a change of the value.
    EXPECT_EQ(CodePage("CP1252").FromUtf8("Tā"), std::nullopt);
    EXPECT_EQ(CodePage("CP1252").FromUtf8("蓝色"), std::nullopt);
}

TEST(CodePage, ABadByteSpoilsOnlyItselfAndKeepsTheLines) {
    const CodePage chinese("CP936");
    struct Case {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"\xff", "\xEF\xBF\xBD"},
        {"\xc0\xb6\xff\xc9\xab", "蓝\xEF\xBF\xBD色"},
        // A lead byte before the line's end: the line break stays.
        {"a=\x81\r\nb=\xc3\xf0\n", "a=\xEF\xBF\xBD\r\nb=灭\n"},
        {"a=\x81\nb=\xc3\xf0", "a=\xEF\xBF\xBD\nb=灭"},
        {"end\xc0", "end\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        const auto decoded = chinese.ToUtf8(c.bytes);
        EXPECT_FALSE(decoded.exact) << c.text;
        EXPECT_EQ(decoded.text, c.text);
        EXPECT_EQ(Count(decoded.text, '\n'), Count(c.bytes, '\n')) << c.text;
    }
}

TEST(CodePage, OnlyACodePageThatKeepsAsciiIsKnown) {
    EXPECT_FALSE(CodePage("NO-SUCH-CODE-PAGE").Known());
    EXPECT_FALSE(CodePage("").Known());
    // The INI files' brackets, equals signs and line breaks would not be found.
    EXPECT_FALSE(CodePage("UTF-16").Known());
    EXPECT_FALSE(CodePage("EBCDIC-US").Known());

    // What is not known converts ASCII only.
    const CodePage unknown("NO-SUCH-CODE-PAGE");
    const auto decoded = unknown.ToUtf8("k=\xc3\xf0\r\n");
    EXPECT_FALSE(decoded.exact);
    EXPECT_EQ(decoded.text, "k=\xEF\xBF\xBD\xEF\xBF\xBD\r\n");
    EXPECT_EQ(unknown.FromUtf8("k=1\r\n"), "k=1\r\n");
    EXPECT_EQ(unknown.FromUtf8("灭"), std::nullopt);
}

TEST(Utf8Text, TellsUtf8FromOtherBytes) {
    for (const std::string text : {"", "[CONFIG_PAGE]\r\n", "灭 €", "\xEF\xBB\xBF[A]"}) {
        EXPECT_TRUE(IsUtf8(text)) << text;
    }
    // CP936 text, a cut character, an overlong form, a surrogate.
    for (const std::string text : {"\xc0\xb6\xc9\xab", "\xe7\x81", "\xc0\xaf", "\xed\xa0\x80"}) {
        EXPECT_FALSE(IsUtf8(text)) << testing::PrintToString(text);
    }
}

}  // namespace
}  // namespace carvex
