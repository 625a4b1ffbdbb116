#pragma once

#include <string_view>

namespace carvex {

// `text` without the `blanks` it begins and ends with; empty when it holds nothing else.
constexpr std::string_view TrimmedOf(std::string_view text, std::string_view blanks) {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace carvex
