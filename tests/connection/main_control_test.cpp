#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "carvex/connection/card_control.h"
#include "carvex/connection/main_control.h"
#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"

namespace carvex {
namespace {

// A port that takes or refuses writes and never receives anything.
struct QuietPortRecord {
    std::mutex mutex;
    std::condition_variable cancelled_cv;
    bool cancelled = false;
    bool accept_writes = true;
    int opens = 0;
    int write_attempts = 0;
    std::vector<std::vector<uint8_t>> writes;
};

class QuietPort : public NetPort {
  public:
    explicit QuietPort(std::shared_ptr<QuietPortRecord> r) : r_(std::move(r)) {}
    bool Write(std::span<const uint8_t> bytes) override {
        std::lock_guard lock(r_->mutex);
        ++r_->write_attempts;
        if (r_->accept_writes) {
            r_->writes.emplace_back(bytes.begin(), bytes.end());
        }
        return r_->accept_writes;
    }
    bool Read(std::span<uint8_t>, uint32_t* received) override {
        std::unique_lock lock(r_->mutex);
        r_->cancelled_cv.wait(lock, [&] { return r_->cancelled; });
        r_->cancelled = false;
        if (received != nullptr) {
            *received = 0;
        }
        return true;
    }
    int32_t LastError() const override { return 0; }
    void Close() override {}
    void Cancel() override {
        std::lock_guard lock(r_->mutex);
        r_->cancelled = true;
        r_->cancelled_cv.notify_all();
    }
    bool WaitForCancel(std::chrono::nanoseconds) override { return false; }

  private:
    std::shared_ptr<QuietPortRecord> r_;
};

// A faster clock that remembers every pause the caller's thread makes.
class PauseRecordingClock : public ScaledClock {
  public:
    PauseRecordingClock() : ScaledClock(100) {}
    void SleepFor(Duration named) const override {
        {
            std::lock_guard lock(mutex_);
            pauses_.push_back(named);
        }
        ScaledClock::SleepFor(named);
    }
    std::vector<Duration> Pauses() const {
        std::lock_guard lock(mutex_);
        return pauses_;
    }
    void Forget() {
        std::lock_guard lock(mutex_);
        pauses_.clear();
    }

  private:
    mutable std::mutex mutex_;
    mutable std::vector<Duration> pauses_;
};

class MainControlTest : public ::testing::Test {
  protected:
    MainControl Connection() {
        return MainControl([r = record_](int, uint32_t, carvex::DiagLink::OpenError&) {
            ++r->opens;
            return std::make_unique<QuietPort>(r);
        });
    }

    std::shared_ptr<PauseRecordingClock> recording_ = std::make_shared<PauseRecordingClock>();
    ScopedClock clock_{recording_};
    std::shared_ptr<QuietPortRecord> record_ = std::make_shared<QuietPortRecord>();
};

TEST_F(MainControlTest, OpenPortTwiceOpensTheLinkOnce) {
    MainControl connection = Connection();
    EXPECT_TRUE(connection.OpenPort(5, 115200));
    EXPECT_TRUE(connection.OpenPort(5, 115200));
    EXPECT_EQ(record_->opens, 1);
    connection.ClosePort();
    EXPECT_FALSE(connection.IsOpen());
    connection.ClosePort();
    EXPECT_FALSE(connection.IsOpen());
}

TEST_F(MainControlTest, SwitchThatCannotBeWrittenFailsAndClosesThePort) {
    record_->accept_writes = false;
    MainControl connection = Connection();
    EXPECT_FALSE(connection.OpenInDiagMode(5));
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_EQ(record_->opens, 1);
}

TEST_F(MainControlTest, SwitchReopensThePort) {
    MainControl connection = Connection();
    EXPECT_TRUE(connection.OpenInDiagMode(5));
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_EQ(record_->opens, 2);
    ASSERT_EQ(record_->writes.size(), 1u);
    const std::string expected = "AT$QCDMG\r~";
    EXPECT_EQ(record_->writes[0], std::vector<uint8_t>(expected.begin(), expected.end()));
}

TEST_F(MainControlTest, NvRequestLeavesWhatTheLastAttemptHad) {
    MainControl connection = Connection();
    ASSERT_TRUE(connection.OpenPort(5, 115200));
    NvItemPacket packet(NvItemPacket::kRead, 550);
    packet.Data()[0] = 0x42;
    int32_t status = -1;
    EXPECT_FALSE(connection.NvRequest(packet, &status));
    EXPECT_EQ(status, kStatusNoReply);
    EXPECT_EQ(record_->writes.size(), 3u);
    EXPECT_EQ(packet.Command(), 0) << "after a wait failure the packet is the cleared one";
    EXPECT_EQ(packet.Data()[0], 0);

    record_->accept_writes = false;
    record_->write_attempts = 0;
    recording_->Forget();
    NvItemPacket unsent(NvItemPacket::kRead, 550);
    EXPECT_FALSE(connection.NvRequest(unsent, &status));
    EXPECT_EQ(status, kStatusNotSent);
    EXPECT_EQ(unsent.Item(), 550) << "after a send failure the request stays as it was";
    EXPECT_EQ(record_->write_attempts, 3) << "a send failure is retried like a missing reply";
    EXPECT_EQ(recording_->Pauses(),
              std::vector<Clock::Duration>(3, std::chrono::milliseconds(300)));
}

TEST_F(MainControlTest, FiveUnansweredResetsFollowEachOtherWithoutAPause) {
    MainControl connection = Connection();
    ASSERT_TRUE(connection.OpenPort(5, 115200));
    recording_->Forget();
    EXPECT_FALSE(ResetCard(connection));
    EXPECT_EQ(record_->writes.size(), 5u);
    for (const auto& write : record_->writes) {
        EXPECT_EQ(write.size(), 6u) << "29 02 00 framed: three bytes, FCS and flag";
    }
    EXPECT_TRUE(recording_->Pauses().empty());

    record_->accept_writes = false;
    record_->write_attempts = 0;
    EXPECT_FALSE(ResetCard(connection));
    EXPECT_EQ(record_->write_attempts, 5) << "an attempt whose send fails ends at once";
    EXPECT_TRUE(recording_->Pauses().empty());
}

TEST_F(MainControlTest, ReleaseStopsTheLinkWithoutThePauseAfterAClose) {
    MainControl connection = Connection();
    ASSERT_TRUE(connection.OpenPort(5, 115200));
    recording_->Forget();
    connection.Release();
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(connection.Link().IsOpen());
    EXPECT_TRUE(recording_->Pauses().empty());
    connection.ClosePort();
    EXPECT_TRUE(recording_->Pauses().empty()) << "nothing left to close";
}

TEST(RequestStatusForNv, Table) {
    const std::pair<uint16_t, int32_t> table[] = {{1, 3}, {2, 3},  {3, 7},  {4, 3},
                                                  {5, 5}, {6, 6},  {7, 4},  {8, 3},
                                                  {9, 8}, {10, 3}, {11, 3}, {500, 3}};
    for (const auto& [nv, request] : table) {
        EXPECT_EQ(RequestStatusForNv(nv), request) << nv;
    }
}

}  // namespace
}  // namespace carvex
