#include "app/model/log_file.h"

#include <fstream>
#include <iterator>

namespace cardwright {

bool LogFile::Exists() const {
    std::error_code error;
    return std::filesystem::exists(path_, error);
}

std::optional<std::vector<std::string>> LogFile::ReadLines() const {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path_, error)) {
        return std::nullopt;
    }
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text;
    try {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return std::nullopt;
    }
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
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    return static_cast<bool>(out);
}

bool LogFile::Append(const std::string& line) const {
    std::ofstream out(path_, std::ios::binary | std::ios::app);
    out << line << "\r\n";
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace cardwright
