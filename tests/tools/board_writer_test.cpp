#include "tools/carvexctl/board_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>

#include "tests/support/wait_until.h"

namespace carvexctl {
namespace {

// Output whose reader takes nothing until it is let go: a terminal held with Ctrl-S, a pipe whose
// reader has stopped reading.
class HeldOutput : public std::streambuf {
  public:
    void LetGo() {
        {
            const std::lock_guard lock(mutex_);
            held_ = false;
        }
        released_.notify_all();
    }
    std::string Text() {
        const std::lock_guard lock(mutex_);
        return text_;
    }
    // Whether a write is waiting to be taken.
    bool Waiting() {
        const std::lock_guard lock(mutex_);
        return waiting_;
    }

  protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        std::unique_lock lock(mutex_);
        waiting_ = held_;
        released_.wait(lock, [this] { return !held_; });
        waiting_ = false;
        text_.append(bytes, static_cast<size_t>(count));
        return count;
    }
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            const char byte = traits_type::to_char_type(c);
            xsputn(&byte, 1);
        }
        return traits_type::not_eof(c);
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = true;
    bool waiting_ = false;
    std::string text_;
};

TEST(BoardWriter, NoCallWaitsForAHeldReaderAndNothingHandedOverIsLost) {
    HeldOutput held;
    std::ostream out(&held);
    BoardWriter writer(out);
    std::atomic<bool> handed_over{false};
    std::thread work([&] {
        writer.Print("carvexctl: watching for cards\n");
        // Once the reader holds that line, both blocks come while it waits.
        if (!testsupport::WaitUntil([&] { return held.Waiting(); })) {
            return;
        }
        writer.Draw({"COM12  Writing 1 of 20"});
        writer.Draw({"COM12  Writing 2 of 20"});  // the newer block: the older is not drawn
        writer.Print("Stopped: 1 ok\n");
        handed_over = true;
    });
    const bool returned = testsupport::WaitUntil([&] { return handed_over.load(); });
    held.LetGo();
    work.join();
    EXPECT_TRUE(returned) << "a call waited for the held reader";
    writer.Drain();
    EXPECT_EQ(held.Text(),
              "carvexctl: watching for cards\n"
              "\r\x1b[2KCOM12  Writing 2 of 20\n"
              "Stopped: 1 ok\n");
}

// A station's reader may never come back: progress lines beyond the limit are skipped, every
// other line is kept.
TEST(BoardWriter, SkipsOnlyProgressLinesWhileTheReaderIsFarBehind) {
    HeldOutput held;
    std::ostream out(&held);
    BoardWriter writer(out, 64);
    writer.Print("first\n");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return held.Waiting(); }));
    std::string expected = "first\n";
    for (int item = 1; item <= 20; ++item) {
        const std::string line = "COM12: Writing " + std::to_string(item) + " of 20\n";
        writer.Print(line, BoardWriter::Line::kProgress);
        if (expected.size() - 6 <= 64) {
            expected += line;
        }
    }
    writer.Print("COM12: ok\n");
    held.LetGo();
    writer.Drain();
    EXPECT_EQ(held.Text(), expected + "COM12: ok\n");
}

TEST(BoardWriter, RedrawsItsBlockInPlaceAndBeginsANewOneAfterText) {
    HeldOutput output;
    output.LetGo();
    std::ostream out(&output);
    {
        BoardWriter writer(out);
        writer.Draw({"a", "b", "c"});
        writer.Drain();
        writer.Draw({"d", "e"});  // the third line is cleared, not left behind
        writer.Drain();
        writer.Print("note\n");
        writer.Draw({"f"});  // a new block below the text: no way back up
    }                        // the last block is written before the writer goes
    EXPECT_EQ(output.Text(),
              "\r\x1b[2Ka\n\r\x1b[2Kb\n\r\x1b[2Kc\n"
              "\x1b[3A\r\x1b[2Kd\n\r\x1b[2Ke\n\r\x1b[2K\n"
              "note\n"
              "\r\x1b[2Kf\n");
}

}  // namespace
}  // namespace carvexctl
