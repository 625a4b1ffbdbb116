#include "tools/carvexctl/progress_board.h"

#include <algorithm>

namespace carvexctl {

namespace {

// The text cut to `columns` columns. Every character from U+1000 on counts as two, as CJK
// characters take: a line may end early, it never wraps.
std::string Cut(const std::string& text, size_t columns) {
    size_t width = 0;
    size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        size_t length = lead < 0x80    ? 1
                        : lead >= 0xF0 ? 4
                        : lead >= 0xE0 ? 3
                        : lead >= 0xC0 ? 2
                                       : 1;
        length = std::min(length, text.size() - at);
        const size_t wide = lead >= 0xE1 ? 2 : 1;
        if (width + wide > columns) {
            return text.substr(0, at);
        }
        width += wide;
        at += length;
    }
    return text;
}

}  // namespace

ProgressBoard::ProgressBoard(std::ostream& out, std::vector<std::string> labels, bool redraw,
                             size_t columns)
    : out_(out),
      labels_(std::move(labels)),
      texts_(labels_.size()),
      redraw_(redraw),
      columns_(std::max<size_t>(columns, 20) - 1) {
    for (const std::string& label : labels_) {
        label_width_ = std::max(label_width_, label.size());
    }
}

std::string ProgressBoard::Line(size_t line) const {
    const std::string& label = labels_[line];
    if (!redraw_) {
        return label + ": " + texts_[line];
    }
    return Cut(label + std::string(label_width_ - label.size() + 2, ' ') + texts_[line], columns_);
}

void ProgressBoard::Redraw() {
    std::string frame;
    if (drawn_) {
        frame += "\x1b[" + std::to_string(labels_.size()) + "A";  // back to the first line
    }
    for (size_t line = 0; line < labels_.size(); ++line) {
        frame += "\r\x1b[2K" + Line(line) + "\n";
    }
    out_ << frame << std::flush;
    drawn_ = true;
}

void ProgressBoard::Show(size_t line, std::string text) {
    const std::lock_guard lock(mutex_);
    if (line >= texts_.size() || texts_[line] == text) {
        return;
    }
    texts_[line] = std::move(text);
    if (redraw_) {
        Redraw();
    } else {
        out_ << Line(line) << "\n" << std::flush;
    }
}

}  // namespace carvexctl
