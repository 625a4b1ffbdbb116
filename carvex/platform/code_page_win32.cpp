#include <windows.h>

#include <string>

#include "carvex/platform/code_page.h"
#include "carvex/platform/win32_text.h"

namespace carvex {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// The wide characters of bytes in code page `code_page`; nullopt when a byte starts no character.
std::optional<std::wstring> StrictlyWide(UINT code_page, std::string_view bytes) {
    if (bytes.empty()) {
        return std::wstring();
    }
    const int size = static_cast<int>(bytes.size());
    const int count =
        ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (count <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<size_t>(count), L'\0');
    ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), count);
    return wide;
}

// A line with bytes that are no text: character by character, each bad byte U+FFFD.
std::wstring Leniently(UINT code_page, std::string_view line) {
    std::wstring wide;
    if (code_page == CP_UTF8) {
        // Windows puts U+FFFD for each bad sequence itself.
        const int size = static_cast<int>(line.size());
        const int count = ::MultiByteToWideChar(code_page, 0, line.data(), size, nullptr, 0);
        wide.resize(static_cast<size_t>(count));
        ::MultiByteToWideChar(code_page, 0, line.data(), size, wide.data(), count);
        return wide;
    }
    while (!line.empty()) {
        const bool lead = ::IsDBCSLeadByteEx(code_page, static_cast<BYTE>(line.front())) != 0;
        const size_t length = lead && line.size() > 1 ? 2 : 1;
        if (const auto character = StrictlyWide(code_page, line.substr(0, length))) {
            wide += *character;
            line.remove_prefix(length);
        } else {
            // A trail byte that does not fit may be a character of its own (a line break).
            wide += kReplacement;
            line.remove_prefix(1);
        }
    }
    return wide;
}

}  // namespace

CodePage::CodePage(std::string_view /*name*/) : name_("CP" + std::to_string(::GetACP())) {}

bool CodePage::Known() const {
    return ::IsValidCodePage(::GetACP()) != 0;
}

CodePage::Decoded CodePage::ToUtf8(std::string_view bytes) const {
    const UINT code_page = ::GetACP();
    Decoded decoded;
    while (!bytes.empty()) {
        const size_t lf = bytes.find('\n');
        const size_t length = lf == std::string_view::npos ? bytes.size() : lf + 1;
        const std::string_view line = bytes.substr(0, length);
        bytes.remove_prefix(length);
        if (const auto wide = StrictlyWide(code_page, line)) {
            decoded.text += Narrow(*wide);
        } else {
            decoded.text += Narrow(Leniently(code_page, line));
            decoded.exact = false;
        }
    }
    return decoded;
}

std::optional<std::string> CodePage::FromUtf8(std::string_view text) const {
    const auto wide = StrictlyWide(CP_UTF8, text);
    if (!wide) {
        return std::nullopt;
    }
    const UINT code_page = ::GetACP();
    if (code_page == CP_UTF8 || wide->empty()) {
        return std::string(text);
    }
    const int size = static_cast<int>(wide->size());
    BOOL replaced = FALSE;
    const int count = ::WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide->data(), size,
                                            nullptr, 0, nullptr, &replaced);
    if (count <= 0 || replaced) {
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(count), '\0');
    ::WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide->data(), size, bytes.data(), count,
                          nullptr, &replaced);
    if (replaced) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace carvex
