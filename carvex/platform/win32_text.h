#pragma once

#include <string>
#include <string_view>

namespace carvex {

// The library's texts are UTF-8; Windows' wide functions take and give UTF-16.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

}  // namespace carvex
