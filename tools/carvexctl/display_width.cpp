#include "tools/carvexctl/display_width.h"

#include <algorithm>
#include <array>
#include <utility>

namespace carvexctl {

namespace {

using Range = std::pair<char32_t, char32_t>;

// Combining marks, zero-width spaces and joiners, variation selectors.
constexpr std::array<Range, 9> kZeroWidth{{{0x0300, 0x036F},
                                           {0x0483, 0x0489},
                                           {0x0591, 0x05BD},
                                           {0x1AB0, 0x1AFF},
                                           {0x1DC0, 0x1DFF},
                                           {0x200B, 0x200F},
                                           {0x20D0, 0x20FF},
                                           {0xFE00, 0xFE0F},
                                           {0xFE20, 0xFE2F}}};

// East Asian wide and fullwidth characters, and the pictographs terminals draw two wide.
constexpr std::array<Range, 18> kWide{{{0x1100, 0x115F},
                                       {0x2E80, 0x303E},
                                       {0x3041, 0x33FF},
                                       {0x3400, 0x4DBF},
                                       {0x4E00, 0x9FFF},
                                       {0xA000, 0xA4CF},
                                       {0xA960, 0xA97F},
                                       {0xAC00, 0xD7A3},
                                       {0xF900, 0xFAFF},
                                       {0xFE10, 0xFE19},
                                       {0xFE30, 0xFE6F},
                                       {0xFF00, 0xFF60},
                                       {0xFFE0, 0xFFE6},
                                       {0x1F300, 0x1F64F},
                                       {0x1F900, 0x1F9FF},
                                       {0x20000, 0x2FFFD},
                                       {0x30000, 0x3FFFD},
                                       {0x1B000, 0x1B2FF}}};

template <size_t N>
bool In(const std::array<Range, N>& ranges, char32_t c) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [c](const Range& range) { return c >= range.first && c <= range.second; });
}

// The character at the start of `text`: its code point (kBadByte for a byte that starts no
// well-formed character) and its length in bytes.
struct Decoded {
    char32_t code;
    size_t length;
};
constexpr char32_t kBadByte = 0xFFFFFFFF;

Decoded DecodeFirst(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) {
        return {lead, 1};
    }
    const size_t length = lead >= 0xF0 && lead <= 0xF4  ? 4
                          : lead >= 0xE0                ? 3
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                                                        : 0;
    if (length == 0 || length > text.size()) {
        return {kBadByte, 1};
    }
    char32_t code = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return {kBadByte, 1};
        }
        code = (code << 6) | (next & 0x3F);
    }
    return {code, length};
}

size_t Columns(char32_t code) {
    if (code == kBadByte) {
        return 1;
    }
    if (In(kZeroWidth, code)) {
        return 0;
    }
    return In(kWide, code) ? 2 : 1;
}

}  // namespace

size_t DisplayWidth(std::string_view text) {
    size_t width = 0;
    while (!text.empty()) {
        const Decoded decoded = DecodeFirst(text);
        width += Columns(decoded.code);
        text.remove_prefix(decoded.length);
    }
    return width;
}

std::string CutToColumns(std::string_view text, size_t columns) {
    size_t width = 0;
    size_t at = 0;
    while (at < text.size()) {
        const Decoded decoded = DecodeFirst(text.substr(at));
        width += Columns(decoded.code);
        if (width > columns) {
            break;
        }
        at += decoded.length;
    }
    return std::string(text.substr(0, at));
}

std::string PadToColumns(std::string_view text, size_t columns) {
    const size_t width = DisplayWidth(text);
    return std::string(text) + std::string(columns > width ? columns - width : 0, ' ');
}

}  // namespace carvexctl
