#include "tools/carvexctl/progress_board.h"

#include <algorithm>

#include "tools/carvexctl/display_width.h"

namespace carvexctl {

ProgressBoard::ProgressBoard(std::ostream& out, std::vector<std::string> labels, bool redraw,
                             size_t columns)
    : labels_(std::move(labels)),
      texts_(labels_.size()),
      redraw_(redraw),
      columns_(std::max<size_t>(columns, 20) - 1),
      writer_(out) {
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
    std::vector<std::string> lines;
    for (size_t line = 0; line < labels_.size(); ++line) {
        lines.push_back(Line(line));
    }
    writer_.Draw(std::move(lines));
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
        writer_.Print(Line(line) + "\n");
    }
}

}  // namespace carvexctl
