#include "cardwork/model/log_file.h"

#include <fstream>

#include "cardwork/model/utf8_path.h"
#include "carvex/platform/whole_file.h"

namespace cardwright {

bool LogFile::Exists() const {
    std::error_code error;
    return std::filesystem::exists(path_, error);
}

std::optional<std::vector<std::string>> LogFile::ReadLines() const {
    const auto file = carvex::ReadWholeFile(path_);
    if (file.error || file.stamp.kind != carvex::FileStamp::Kind::kFile) {
        return std::nullopt;
    }
    const std::string& text = file.content;
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        const size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > at && text[end - 1] == '\r') {
            --end;
        }
        lines.push_back(text.substr(at, end - at));
        at = next;
    }
    return lines;
}

bool LogFile::Rewrite(const std::vector<std::string>& lines) const {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    auto replaced = carvex::ReplaceWholeFile(path_, text);
    if (!replaced.stamp) {
        last_error_ = "Cannot write " + Utf8FromPath(path_) + ": " + replaced.error;
        return false;
    }
    return true;
}

bool LogFile::Append(const std::string& line) const {
    std::ofstream out(path_, std::ios::binary | std::ios::app);
    out << line << "\r\n";
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace cardwright
