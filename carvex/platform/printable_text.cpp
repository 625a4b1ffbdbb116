#include "carvex/platform/printable_text.h"

#include <cstdint>

namespace carvex {

namespace {

// The length of the valid UTF-8 sequence at the start of `text` (shortest form, no surrogates,
// at most U+10FFFF), or 0.
size_t SequenceLength(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    size_t length = 0;
    uint32_t low = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        low = 0x80;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = 0x800;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = 0x10000;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < low || surrogate || code > 0x10FFFF ? 0 : length;
}

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
        const size_t length = first < 0x80 ? 0 : SequenceLength(text);
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
