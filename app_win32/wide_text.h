#pragma once

#include <string>
#include <string_view>

namespace cardwright::win32 {

// The window keeps its texts in UTF-8; Windows takes and gives UTF-16. Bytes that are not UTF-8
// become U+FFFD, and so do lone surrogates on the way back.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace cardwright::win32
