#pragma once

#include <string_view>
#include <vector>

namespace carvexudev {

// The lines of a text, without their line ends ("\n"; a "\r" before it stays); a last line
// without a line end counts, an empty text has none.
inline std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

}  // namespace carvexudev
