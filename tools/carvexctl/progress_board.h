#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "tools/carvexctl/board_writer.h"

namespace carvexctl {

// One line per card, each telling where the card's work is. On a terminal the lines are drawn
// once and redrawn in place as they change; elsewhere (a file, a pipe) each change is printed as
// a line of its own, "COM12: Writing 3 of 20: Band". Threads may show at the same time; none of
// them waits for the output's reader (BoardWriter).
class ProgressBoard {
  public:
    // `labels` name the lines ("COM12"). With `redraw` the lines are redrawn in place and cut to
    // `columns`, so that none wraps and moves the others.
    ProgressBoard(std::ostream& out, std::vector<std::string> labels, bool redraw,
                  size_t columns = 80);
    ProgressBoard(const ProgressBoard&) = delete;
    ProgressBoard& operator=(const ProgressBoard&) = delete;

    void Show(size_t line, std::string text);
    // Returns once everything shown so far is written: before the program writes anything else.
    void Drain() { writer_.Drain(); }

  private:
    std::string Line(size_t line) const;
    void Redraw();

    std::mutex mutex_;
    std::vector<std::string> labels_;
    std::vector<std::string> texts_;
    bool redraw_;
    size_t columns_;
    size_t label_width_ = 0;
    BoardWriter writer_;  // last: it writes what is left before the rest goes
};

}  // namespace carvexctl
