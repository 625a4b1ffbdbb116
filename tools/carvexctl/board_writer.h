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
// card at its next step, and a restarted card could come and go unseen meanwhile. What is handed
// over is written once the reader takes it again; only a progress line may be skipped, when more
// than `behind_limit` bytes wait already (a station runs for days, its reader may never come
// back), and the next line of that card tells where it is.
class BoardWriter {
  public:
    static constexpr size_t kBehindLimit = size_t{4} << 20;

    enum class Line {
        kKept,      // written, however far behind the reader is
        kProgress,  // skipped while the reader is more than the limit behind
    };

    explicit BoardWriter(std::ostream& out, size_t behind_limit = kBehindLimit);
    // Writes whatever is left, then ends.
    ~BoardWriter();
    BoardWriter(const BoardWriter&) = delete;
    BoardWriter& operator=(const BoardWriter&) = delete;

    // Text appended after everything handed over before it. It ends the drawn block, if any: a
    // later Draw begins a new block below it.
    void Print(std::string text, Line line = Line::kKept);
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
    size_t pending_bytes_ = 0;  // of the texts waiting
    size_t behind_limit_;
    bool writing_ = false;
    bool ending_ = false;
    size_t drawn_lines_ = 0;  // lines of the block last drawn; only the writer's thread uses it
    std::thread thread_;      // last: started once the rest is made, the stop signals kept off it
};

}  // namespace carvexctl
