#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "cardwork/batch/card_record.h"
#include "tools/carvexctl/progress_board.h"

namespace carvexctl {

// The board's line of each card (by its port) shows where the card's work is, and at its end
// the result.
class BoardObserver : public cardwright::CardObserver {
  public:
    BoardObserver(ProgressBoard& board, std::vector<std::string> ports)
        : board_(board), ports_(std::move(ports)) {}

    void Progress(const cardwright::CardRecord& record,
                  const cardwright::WorkProgress& progress) override {
        Show(record.port, cardwright::ProgressText(progress));
    }
    void Ended(const cardwright::CardRecord& record) override {
        Show(record.port, record.result.Text());
    }
    // The same text on every card's line: what the whole run is doing.
    void Say(const std::string& text) {
        for (size_t line = 0; line < ports_.size(); ++line) {
            board_.Show(line, text);
        }
    }

  private:
    void Show(const std::string& port, std::string text) {
        const auto line = std::find(ports_.begin(), ports_.end(), port);
        if (line != ports_.end()) {
            board_.Show(static_cast<size_t>(line - ports_.begin()), std::move(text));
        }
    }

    ProgressBoard& board_;
    std::vector<std::string> ports_;
};

}  // namespace carvexctl
