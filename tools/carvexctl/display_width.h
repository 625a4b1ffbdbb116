#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace carvexctl {

// How many terminal columns a UTF-8 text takes: CJK and other East Asian wide or fullwidth
// characters two, combining marks and zero-width characters none, every other character (and
// every byte that is no part of a well-formed character) one.
size_t DisplayWidth(std::string_view text);

// The text cut to at most `columns` columns, never inside a character.
std::string CutToColumns(std::string_view text, size_t columns);

// The text followed by blanks up to `columns` columns.
std::string PadToColumns(std::string_view text, size_t columns);

}  // namespace carvexctl
