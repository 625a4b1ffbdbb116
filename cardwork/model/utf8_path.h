#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace cardwright {

// A file's path from the UTF-8 text that names it (a file dialog's answer, a script's line), and
// back. A path made from a plain std::string takes its bytes in the platform's narrow encoding,
// which on Windows is not UTF-8: a folder named in Chinese would become another name there.
inline std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace cardwright
