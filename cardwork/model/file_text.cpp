#include "cardwork/model/file_text.h"

#include <algorithm>

#include "carvex/platform/utf8_text.h"

namespace cardwright {

namespace {

std::vector<size_t> LineStarts(std::string_view text) {
    std::vector<size_t> starts{0};
    for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', lf + 1)) {
        starts.push_back(lf + 1);
    }
    return starts;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The first character of `text` that the code page lacks, for the reason a write is refused.
std::string FirstMissing(std::string_view text, const carvex::CodePage& code_page) {
    while (!text.empty()) {
        const size_t length = std::max<size_t>(carvex::Utf8SequenceLength(text), 1);
        const std::string_view character = text.substr(0, length);
        if (!code_page.FromUtf8(character)) {
            return std::string(character);
        }
        text.remove_prefix(length);
    }
    return {};
}

}  // namespace

FileText::FileText(std::string bytes, carvex::CodePage code_page)
    : bytes_(std::move(bytes)), code_page_(std::move(code_page)) {
    if (carvex::IsUtf8(bytes_)) {
        return;
    }
    auto decoded = code_page_.ToUtf8(bytes_);
    text_ = std::move(decoded.text);
    encoding_ = decoded.exact ? Encoding::kCodePage : Encoding::kNeither;
    text_lines_ = LineStarts(text_);
    byte_lines_ = LineStarts(bytes_);
}

std::optional<std::string> FileText::Encode(std::string_view text, std::string& why) const {
    switch (encoding_) {
        case Encoding::kUtf8:
            return std::string(text);
        case Encoding::kCodePage:
            if (auto bytes = code_page_.FromUtf8(text)) {
                return bytes;
            }
            why = "it is kept in " + code_page_.Name() + " for the Windows program, and " +
                  code_page_.Name() + " has no \"" + FirstMissing(text, code_page_) + "\"";
            return std::nullopt;
        case Encoding::kNeither:
            if (IsAscii(text)) {
                return std::string(text);
            }
            why = "it is neither UTF-8 nor " + code_page_.Name() +
                  " text, so only ASCII can be written into it";
            return std::nullopt;
    }
    return std::nullopt;
}

size_t FileText::ByteOffset(size_t text_offset) const {
    if (encoding_ == Encoding::kUtf8) {
        return text_offset;
    }
    const auto next = std::upper_bound(text_lines_.begin(), text_lines_.end(), text_offset);
    const auto line = static_cast<size_t>(next - text_lines_.begin()) - 1;
    if (text_lines_[line] == text_offset) {
        return byte_lines_[line];
    }
    // Counted back from the line's end: what follows the place is ASCII, a byte a character.
    const size_t text_end = next == text_lines_.end() ? text_.size() : *next;
    const size_t byte_end = line + 1 < byte_lines_.size() ? byte_lines_[line + 1] : bytes_.size();
    return byte_end - (text_end - text_offset);
}

}  // namespace cardwright
