#include "carvex/platform/printable_text.h"

#include <cstdint>

#include "carvex/platform/utf8_text.h"

namespace carvex {

namespace {

void AppendEscaped(std::string& out, uint8_t byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

}  // namespace

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto first = static_cast<uint8_t>(text.front());
        if (first >= 0x20 && first < 0x7F) {
            out += text.front();
            text.remove_prefix(1);
            continue;
        }
        const size_t length = first < 0x80 ? 0 : Utf8SequenceLength(text);
        // U+0080 to U+009F, the C1 controls, are C2 80 to C2 9F.
        const bool c1_control =
            length == 2 && first == 0xC2 && static_cast<uint8_t>(text[1]) < 0xA0;
        if (length == 0 || c1_control) {
            for (size_t i = 0; i < (c1_control ? 2 : 1); ++i) {
                AppendEscaped(out, static_cast<uint8_t>(text[i]));
            }
            text.remove_prefix(c1_control ? 2 : 1);
            continue;
        }
        out.append(text.substr(0, length));
        text.remove_prefix(length);
    }
    return out;
}

}  // namespace carvex
