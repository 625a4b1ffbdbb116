#include <gtest/gtest.h>

#include "carvex/platform/printable_text.h"

namespace carvex {
namespace {

TEST(PrintableText, EscapesControlsAndBrokenUtf8AndKeepsEverythingElse) {
    struct Case {
        std::string text;
        std::string printed;
    } cases[] = {
        {"TAVRIO Linkwave - 3G PC UI Interface (COM12)",
         "TAVRIO Linkwave - 3G PC UI Interface (COM12)"},
        {"\\\\.\\COM12 ~", "\\\\.\\COM12 ~"},
        // A name that would clear the screen, or start a new journal line.
        {"PC UI\x1b[2J", "PC UI\\x1b[2J"},
        {"one\ntwo\r\t", "one\\x0atwo\\x0d\\x09"},
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"del\x7f", "del\\x7f"},
        // C1 controls: U+009B (CSI) and U+0085 (next line).
        {"\xc2\x9b"
         "2J \xc2\x85",
         "\\xc2\\x9b2J \\xc2\\x85"},
        // Letters beyond ASCII stay: U+00A0, Chinese, an emoji.
        {"\xc2\xa0\xe6\xa8\xa1\xe5\xbc\x8f \xf0\x9f\x93\xb6",
         "\xc2\xa0\xe6\xa8\xa1\xe5\xbc\x8f \xf0\x9f\x93\xb6"},
        // Not UTF-8: a lone continuation byte, a cut sequence, an overlong form, a surrogate,
        // beyond U+10FFFF, a Latin-1 byte.
        {"a\x80z", "a\\x80z"},
        {"\xe6\xa8", "\\xe6\\xa8"},
        {"\xc0\xaf", "\\xc0\\xaf"},
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"caf\xe9", "caf\\xe9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PrintableText(c.text), c.printed) << testing::PrintToString(c.text);
    }
}

}  // namespace
}  // namespace carvex
