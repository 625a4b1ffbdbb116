#include "tools/carvexctl/board_writer.h"

#include <algorithm>

#include "carvex/platform/stop_signals.h"

namespace carvexctl {

BoardWriter::BoardWriter(std::ostream& out, size_t behind_limit)
    : out_(out), behind_limit_(behind_limit) {
    // A board is made before the program's StopSignals, whose reports it shows.
    const carvex::StopSignalsOffNewThreads signals_off;
    thread_ = std::thread([this] { Run(); });
}

BoardWriter::~BoardWriter() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BoardWriter::Print(std::string text, Line line) {
    {
        const std::lock_guard lock(mutex_);
        if (line == Line::kProgress && pending_bytes_ > behind_limit_) {
            return;
        }
        pending_bytes_ += text.size();
        pending_.push_back({std::move(text), std::nullopt});
    }
    changed_.notify_all();
}

void BoardWriter::Draw(std::vector<std::string> lines) {
    {
        const std::lock_guard lock(mutex_);
        if (!pending_.empty() && pending_.back().block) {
            pending_.back().block = std::move(lines);
        } else {
            pending_.push_back({{}, std::move(lines)});
        }
    }
    changed_.notify_all();
}

void BoardWriter::Drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return pending_.empty() && !writing_; });
}

// Back to the block's first line, each line cleared and written anew; lines the last block had
// beyond this one's are cleared, so none of them is left behind.
std::string BoardWriter::Frame(const std::vector<std::string>& lines) {
    std::string frame;
    if (drawn_lines_ > 0) {
        frame += "\x1b[" + std::to_string(drawn_lines_) + "A";
    }
    for (const std::string& line : lines) {
        frame += "\r\x1b[2K" + line + "\n";
    }
    for (size_t extra = lines.size(); extra < drawn_lines_; ++extra) {
        frame += "\r\x1b[2K\n";
    }
    drawn_lines_ = std::max(drawn_lines_, lines.size());
    return frame;
}

void BoardWriter::Run() {
    for (;;) {
        std::deque<Piece> taken;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !pending_.empty() || ending_; });
            if (pending_.empty()) {
                return;
            }
            taken.swap(pending_);
            pending_bytes_ = 0;
            writing_ = true;
        }
        std::string text;
        for (const Piece& piece : taken) {
            if (piece.block) {
                text += Frame(*piece.block);
            } else {
                text += piece.text;
                drawn_lines_ = 0;
            }
        }
        // The one place that may wait for the reader, and it holds no lock.
        out_ << text << std::flush;
        {
            const std::lock_guard lock(mutex_);
            writing_ = false;
        }
        changed_.notify_all();
    }
}

}  // namespace carvexctl
