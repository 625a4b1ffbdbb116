#include "cardsim/at_line_reader.h"

namespace cardsim {

std::optional<std::string> AtLineReader::Feed(uint8_t byte) {
    const char c = static_cast<char>(byte);
    const bool is_a = c == 'A' || c == 'a';
    if (line_.empty()) {
        if (is_a) {
            line_.push_back(c);
        }
        return std::nullopt;
    }
    if (line_.size() == 1) {
        if (c == 'T' || c == 't') {
            line_.push_back(c);
        } else {
            line_ = is_a ? std::string(1, c) : std::string();
        }
        return std::nullopt;
    }
    if (c == '\n') {
        return std::nullopt;
    }
    line_.push_back(c);
    if (c != '\r') {
        return std::nullopt;
    }
    std::string line;
    std::swap(line, line_);
    return line;
}

void AtLineReader::Reset() {
    line_.clear();
}

}  // namespace cardsim
