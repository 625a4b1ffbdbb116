#pragma once

#include <cstddef>
#include <string_view>

namespace carvex {

// The length of the valid UTF-8 sequence at the start of `text` (shortest form, no surrogates,
// at most U+10FFFF): 1 for an ASCII character, 0 when `text` is empty or does not start with one.
size_t Utf8SequenceLength(std::string_view text);

// Whether the byte continues a UTF-8 sequence (10xxxxxx) rather than starts one.
constexpr bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Whether the bytes are UTF-8 throughout (an empty text is).
bool IsUtf8(std::string_view bytes);

}  // namespace carvex
