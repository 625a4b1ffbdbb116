#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "carvex/platform/code_page.h"

namespace cardwright {

// A text file's bytes and the UTF-8 text they hold. The Windows program wrote its files in its
// ANSI code page; this program makes UTF-8 files. A file that is UTF-8 throughout (ASCII only,
// or with a byte-order mark, included) is read as UTF-8, any other in the legacy code page. What
// is written into a file is written in the file's own encoding, so that the Windows program can
// still read a file this program has changed.
class FileText {
  public:
    enum class Encoding {
        kUtf8,
        kCodePage,  // text of the legacy code page
        kNeither,   // read in the code page, each byte that is no text there as U+FFFD
    };

    FileText(std::string bytes, carvex::CodePage code_page);

    const std::string& Bytes() const { return bytes_; }
    const std::string& Text() const { return encoding_ == Encoding::kUtf8 ? bytes_ : text_; }
    Encoding TextEncoding() const { return encoding_; }

    // `text` (UTF-8) as this file's bytes would hold it; nullopt, with the reason in words, when
    // they cannot: the code page lacks one of its characters, or the file is neither UTF-8 nor
    // text of the code page and `text` is not ASCII (which encoding its reader would take it in
    // cannot be told).
    std::optional<std::string> Encode(std::string_view text, std::string& why) const;

    // The place in Bytes() of a place in Text() that starts a line or the end of the text, or
    // that only ASCII characters follow in its line (such as the line's break).
    size_t ByteOffset(size_t text_offset) const;

  private:
    std::string bytes_;
    std::string text_;  // empty for UTF-8: the bytes are the text
    Encoding encoding_ = Encoding::kUtf8;
    carvex::CodePage code_page_;
    // Where each line starts, in the text and in the bytes (not for UTF-8).
    std::vector<size_t> text_lines_;
    std::vector<size_t> byte_lines_;
};

}  // namespace cardwright
