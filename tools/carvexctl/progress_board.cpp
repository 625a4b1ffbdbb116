#include "tools/carvexctl/progress_board.h"

#include <algorithm>

#include "tools/carvexctl/display_width.h"

namespace carvexctl {

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
    return CutToColumns(label + std::string(label_width_ - label.size() + 2, ' ') + texts_[line],
                        columns_);
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
