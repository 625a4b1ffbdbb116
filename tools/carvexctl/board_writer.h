#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace carvexctl {

// Writes what a board shows from a thread of its own, so that the cards' work never waits for
// the reader: a terminal held with Ctrl-S or a pipe whose reader lags would otherwise stop every
// card at its next step, and a restarted card could come and go unseen meanwhile. Nothing handed
// over is lost; it is written once the reader takes it again.
class BoardWriter {
  public:
    explicit BoardWriter(std::ostream& out);
    // Writes whatever is left, then ends.
    ~BoardWriter();
    BoardWriter(const BoardWriter&) = delete;
    BoardWriter& operator=(const BoardWriter&) = delete;

    // Text appended after everything handed over before it. It ends the drawn block, if any: a
    // later Draw begins a new block below it.
    void Print(std::string text);
    // The block of lines redrawn in place on a terminal (each cut to fit beforehand). A block
    // not yet written when the next one comes is skipped: only the newest is worth drawing.
    void Draw(std::vector<std::string> lines);
    // Returns once everything handed over so far is written.
    void Drain();

  private:
    // One piece of output: a text, or a block to draw.
    struct Piece {
        std::string text;
        std::optional<std::vector<std::string>> block;
    };

    void Run();
    std::string Frame(const std::vector<std::string>& lines);

    std::ostream& out_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> pending_;
    bool writing_ = false;
    bool ending_ = false;
    size_t drawn_lines_ = 0;  // lines of the block last drawn; only the writer's thread uses it
    std::thread thread_;      // last: it starts once the rest is made
};

}  // namespace carvexctl
