#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "cardsim/pty_pair.h"
#include "carvex/link/diag_link.h"
#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/device_publisher.h"
#include "carvex/platform/serial_device.h"
#include "tests/support/scripted_port.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace carvex {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

Bytes Frame(const Bytes& body, bool good_fcs = true) {
    Bytes out(body.size() * 2 + 4);
    out.resize(EncodeFrame(body, Fcs16(body) ^ (good_fcs ? 0 : 1), out).value());
    return out;
}

// Counts good frames; can be told to throw.
class RecordingObserver : public DiagObserver {
  public:
    void OnPacket(int reserved, std::span<const uint8_t> packet) override {
        std::lock_guard lock(mutex_);
        reserved_ = reserved;
        packets_.emplace_back(packet.begin(), packet.end());
        if (throw_) {
            throw std::runtime_error("observer trouble");
        }
    }
    std::vector<Bytes> Packets() {
        std::lock_guard lock(mutex_);
        return packets_;
    }
    std::atomic<bool> throw_{false};
    int reserved_ = -1;

  private:
    std::mutex mutex_;
    std::vector<Bytes> packets_;
};

// A link over a pty whose other end the test plays, on a clock ten times faster.
class DiagLinkTest : public ::testing::Test {
  protected:
    DiagLinkTest() : clock_(std::make_shared<ScaledClock>(10)), link_(DeviceRoot(dir_.Path())) {
        DevicePublisher(DeviceRoot(dir_.Path())).PublishComPort("COM3", pty_.SlavePath());
        EXPECT_TRUE(link_.Open(3, 115200));
        link_.SetObserver(&observer_);
    }

    // Sends frames from the card's end and waits until the link has taken them all in.
    void CardSends(const std::vector<Bytes>& bodies) {
        const size_t before = observer_.Packets().size();
        Bytes wire;
        for (const auto& body : bodies) {
            const Bytes f = Frame(body);
            wire.insert(wire.end(), f.begin(), f.end());
        }
        ASSERT_TRUE(pty_.Write(wire));
        ASSERT_TRUE(testsupport::WaitUntil(
            [&] { return observer_.Packets().size() >= before + bodies.size(); }));
        ASSERT_EQ(observer_.Packets().size(), before + bodies.size());
        // The packets are queued right after the observer saw them.
        ASSERT_TRUE(testsupport::WaitUntil(
            [&] { return link_.Queue().Size() >= std::min<size_t>(bodies.size(), 10); }));
    }

    testsupport::TempDir dir_;
    ScopedClock clock_;
    cardsim::PtyPair pty_;
    RecordingObserver observer_;
    DiagLink link_;
};

TEST_F(DiagLinkTest, SendRequestFramesHeaderAndPayload) {
    ASSERT_TRUE(link_.SendRequest(DiagRequestHeader::Subsystem(0x4B, 0xC9, 0xFF03), {}));
    EXPECT_EQ(pty_.ReadExactly(7, 2s), Frame({0x4B, 0xC9, 0x03, 0xFF}));
    ASSERT_TRUE(link_.SendRequest({DiagRequestHeader::kSubCommand, 0x78, 18, 0, 0}, Bytes{0x7E}));
    EXPECT_EQ(pty_.ReadExactly(7, 2s), Frame({0x78, 18, 0x7E}));
    ASSERT_TRUE(link_.Send(true, Bytes{'A', 'T', '\r', 0x7E}));
    EXPECT_EQ(pty_.ReadExactly(4, 2s), (Bytes{'A', 'T', '\r', 0x7E}));
}

TEST_F(DiagLinkTest, KindZeroHeaderAcceptsAnyPacketWithItsCommandByte) {
    CardSends({{0x27, 1, 2}, {0x26, 0xAA, 0xBB, 0xCC}});
    Bytes payload(3);
    int32_t received = 0;
    ASSERT_TRUE(link_.WaitResponse(DiagRequestHeader::Command(0x26), payload, &received, 1000ms));
    EXPECT_EQ(payload, (Bytes{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(received, 3);
    EXPECT_EQ(link_.Queue().Size(), 0u) << "a wait discards every queued packet";
}

TEST_F(DiagLinkTest, KindTwoHeaderNeedsAllFourBytes) {
    const auto header = DiagRequestHeader::Subsystem(0x4B, 0xC9, 0xFF03);
    CardSends(
        {{0x4B, 0xC9, 0x24, 0xFF, 1}, {0x4B, 0x0F, 0x03, 0xFF, 2}, {0x4B, 0xC9, 0x03, 0xFF, 3, 4}});
    Bytes payload(4, 0xEE);
    int32_t received = 0;
    ASSERT_TRUE(link_.WaitResponse(header, payload, &received, 1000ms));
    EXPECT_EQ(payload, (Bytes{3, 4, 0, 0})) << "bytes beyond the packet are zeros";
    EXPECT_EQ(received, 2);

    CardSends({{0x4B, 0xC9, 0x24, 0xFF, 1}});
    EXPECT_FALSE(link_.WaitResponse(header, payload, &received, 200ms));
    EXPECT_EQ(link_.LastLinkError(), kLinkNoResponse);
}

TEST_F(DiagLinkTest, ResponseArrivingWhileWaitingWakesTheWaiter) {
    auto waiter = std::async(std::launch::async, [&] {
        Bytes whole(8);
        int32_t received = 0;
        const bool ok = link_.WaitRaw(whole, &received, ResponseKey::Of(0xFA), 20000ms);
        return std::pair(ok, received);
    });
    ASSERT_TRUE(testsupport::WaitUntil([&] { return link_.Queue().HasWaiter(); }));
    Bytes wire = Frame({0x60, 1});
    const Bytes reply = Frame({0xFA, 0x00, 0x00, 0x00});
    wire.insert(wire.end(), reply.begin(), reply.end());
    ASSERT_TRUE(pty_.Write(wire));
    EXPECT_EQ(waiter.get(), std::pair(true, 4));
}

TEST_F(DiagLinkTest, EleventhUnrequestedPacketPushesOutTheOldest) {
    std::vector<Bytes> packets;
    for (uint8_t i = 0; i < 11; ++i) {
        packets.push_back({static_cast<uint8_t>(0x30 + i), i});
    }
    CardSends(packets);
    EXPECT_EQ(link_.Queue().Size(), 10u);
    Bytes whole(2);
    int32_t received = 0;
    EXPECT_FALSE(link_.WaitRaw(whole, &received, ResponseKey::Of(0x30), 0ms)) << "oldest is gone";
    CardSends(packets);
    EXPECT_TRUE(link_.WaitRaw(whole, &received, ResponseKey::Of(0x31), 0ms));
    EXPECT_EQ(whole, (Bytes{0x31, 1}));
}

TEST_F(DiagLinkTest, TimeOutGivesErrorAndLeavesTheQueueEmpty) {
    CardSends({{0x11}, {0x12}});
    Bytes payload(4);
    EXPECT_FALSE(link_.WaitResponse(DiagRequestHeader::Command(0x26), payload, nullptr, 100ms));
    EXPECT_EQ(link_.LastLinkError(), kLinkNoResponse);
    EXPECT_EQ(link_.Queue().Size(), 0u);
}

TEST_F(DiagLinkTest, OversizeRequestFailsWith102AndWritesNothing) {
    EXPECT_FALSE(link_.SendRequest(DiagRequestHeader::Command(0x26), Bytes(kMaxFrameBody)));
    EXPECT_EQ(link_.LastLinkError(), kLinkRequestTooLong);
    EXPECT_FALSE(link_.Send(false, Bytes(kMaxFrameBody + 1)));
    EXPECT_EQ(link_.LastLinkError(), kLinkRequestTooLong);
    EXPECT_FALSE(link_.Send(false, Bytes(kMaxFrameBody, 0x7E))) << "stuffed frame too long";
    EXPECT_FALSE(link_.Send(true, Bytes(kFrameBufferSize + 1)));
    EXPECT_TRUE(pty_.Read(100ms).empty());
}

TEST_F(DiagLinkTest, BadFcsAndShortFramesAreDroppedSilently) {
    Bytes wire = Frame({0x26, 1, 2}, false);
    wire.insert(wire.end(), {0x01, 0x02, 0x7E});  // two bytes: no room for a body
    const Bytes good = Frame({0x26, 9});
    wire.insert(wire.end(), good.begin(), good.end());
    ASSERT_TRUE(pty_.Write(wire));
    Bytes payload(1);
    ASSERT_TRUE(link_.WaitResponse(DiagRequestHeader::Command(0x26), payload, nullptr, 2000ms));
    EXPECT_EQ(payload, Bytes{9});
    EXPECT_EQ(observer_.Packets(), (std::vector<Bytes>{{0x26, 9}}));
}

TEST_F(DiagLinkTest, ObserverSeesEveryGoodFrameAndMayThrow) {
    observer_.throw_ = true;
    CardSends({{0x01, 1}, {0x02, 2}});
    EXPECT_EQ(observer_.reserved_, 0);
    EXPECT_EQ(link_.Queue().Size(), 2u) << "packets are queued although the observer threw";
    observer_.throw_ = false;
    CardSends({{0x03}});
    EXPECT_EQ(observer_.Packets().size(), 3u);
}

TEST_F(DiagLinkTest, CloseWhileTheReceiverIsBlockedEndsIt) {
    link_.Close();
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_FALSE(link_.SendRequest(DiagRequestHeader::Command(0x26), {}));
    link_.Close();
    // The port is free again once the link is closed.
    EXPECT_TRUE(link_.Open(3, 115200));
}

TEST_F(DiagLinkTest, OpenFailureKeepsThePortError) {
    DiagLink other(DeviceRoot(dir_.Path()));
    EXPECT_FALSE(other.Open(3, 115200)) << "the port is taken";
    EXPECT_EQ(other.LastLinkError(), kPortCannotOpen);
    EXPECT_FALSE(other.Open(44, 115200));
    EXPECT_EQ(other.LastLinkError(), kPortCannotOpen);
}

// A port whose reads keep failing, as a pulled card's does. Its counters outlive it.
struct FailingPortRecord {
    std::atomic<int> reads{0};
    std::atomic<int> pauses{0};
    std::atomic<int64_t> last_pause_ns{0};
    std::atomic<bool> cancelled{false};
    std::mutex mutex;
    std::condition_variable cancel_cv;
};

class FailingPort : public NetPort {
  public:
    explicit FailingPort(std::shared_ptr<FailingPortRecord> record) : record_(std::move(record)) {}
    bool Write(std::span<const uint8_t>) override { return true; }
    bool Read(std::span<uint8_t>, uint32_t*) override {
        ++record_->reads;
        return false;
    }
    int32_t LastError() const override { return 0; }
    void Close() override {}
    void Cancel() override {
        std::lock_guard lock(record_->mutex);
        record_->cancelled = true;
        record_->cancel_cv.notify_all();
    }
    bool WaitForCancel(std::chrono::nanoseconds timeout) override {
        std::unique_lock lock(record_->mutex);
        record_->last_pause_ns = timeout.count();
        ++record_->pauses;
        // Held here until the link closes, so the test can count the reads before the pause.
        return record_->cancel_cv.wait_for(lock, 60s, [&] { return record_->cancelled.load(); });
    }

  private:
    std::shared_ptr<FailingPortRecord> record_;
};

TEST(DiagLinkFailingPort, ReceiverPausesAfterEachFailedReadAndCloseEndsThePause) {
    ScopedClock clock(std::make_shared<Clock>());
    auto record = std::make_shared<FailingPortRecord>();
    DiagLink link([record](int, uint32_t, DiagLink::OpenError&) {
        return std::make_unique<FailingPort>(record);
    });
    ASSERT_TRUE(link.Open(1, 115200));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return record->pauses.load() > 0; }));
    EXPECT_EQ(record->reads.load(), 1);
    EXPECT_EQ(record->last_pause_ns.load(), std::chrono::nanoseconds(100ms).count());
    link.Close();
    EXPECT_EQ(record->reads.load(), 2) << "the read after the cancel sees the abort";
}

using testsupport::ScriptedPort;
using testsupport::ScriptedPortRecord;

class DiagLinkScriptedTest : public ::testing::Test {
  protected:
    DiagLinkScriptedTest()
        : link_(std::make_unique<DiagLink>([r = record_](int, uint32_t, DiagLink::OpenError&) {
              return std::make_unique<ScriptedPort>(r);
          })) {
        EXPECT_TRUE(link_->Open(1, 115200));
    }

    void WaitForWaiter() {
        ASSERT_TRUE(testsupport::WaitUntil([&] { return link_->Queue().HasWaiter(); }));
    }

    // The real clock: the pauses under test are the card's own.
    ScopedClock clock_{std::make_shared<Clock>()};
    std::shared_ptr<ScriptedPortRecord> record_ = std::make_shared<ScriptedPortRecord>();
    std::unique_ptr<DiagLink> link_;
};

TEST_F(DiagLinkScriptedTest, ReceiverPausesOnlyAfterAPacketSomeoneWaitedFor) {
    auto waiter = std::async(std::launch::async, [&] {
        Bytes whole(4);
        int32_t received = 0;
        return link_->WaitRaw(whole, &received, ResponseKey::Of(0xFA), 20000ms);
    });
    WaitForWaiter();
    Bytes wire = Frame({0x60, 1});
    const Bytes reply = Frame({0xFA, 0, 0, 0});
    wire.insert(wire.end(), reply.begin(), reply.end());
    record_->Feed(wire);
    EXPECT_TRUE(waiter.get());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !record_->Pauses().empty(); }));
    EXPECT_EQ(record_->Pauses(), std::vector<std::chrono::nanoseconds>{100ms})
        << "one pause of 100 ms, after the matched reply only";
}

// On a clock where the receiver's pause after a matched reply lasts a minute, Close still ends
// the receiving thread at once.
TEST_F(DiagLinkScriptedTest, CloseCutsThePauseAfterAMatchedReplyShort) {
    class MinutePauses : public Clock {
        Duration Real(Duration named) const override { return named * 600; }
    };
    ScopedClock slow(std::make_shared<MinutePauses>());
    auto waiter = std::async(std::launch::async, [&] {
        Bytes whole(4);
        int32_t received = 0;
        return link_->WaitRaw(whole, &received, ResponseKey::Of(0xFA), 1000ms);
    });
    WaitForWaiter();
    record_->Feed(Frame({0xFA, 0, 0, 0}));
    EXPECT_TRUE(waiter.get());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !record_->Pauses().empty(); }));
    EXPECT_EQ(record_->Pauses().front(), std::chrono::minutes(1));
    const auto closing = std::chrono::steady_clock::now();
    link_->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 250ms);
}

TEST_F(DiagLinkScriptedTest, AnOversizeFrameIsLostAndTheNextGoodOneArrives) {
    Bytes wire(kMaxFrameBody + 10, 0x11);
    wire.push_back(kFrameFlag);
    const Bytes good = Frame({0x26, 7});
    wire.insert(wire.end(), good.begin(), good.end());
    record_->Feed(wire);
    Bytes payload(1);
    ASSERT_TRUE(link_->WaitResponse(DiagRequestHeader::Command(0x26), payload, nullptr, 10000ms));
    EXPECT_EQ(payload, Bytes{7});
}

TEST_F(DiagLinkScriptedTest, DestroyingTheLinkReleasesAWaitingRequest) {
    auto waiter = std::async(std::launch::async, [&] {
        Bytes whole(4);
        int32_t received = 0;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = link_->WaitRaw(whole, &received, ResponseKey::Of(0xFA), 60000ms);
        return std::pair(ok, std::chrono::steady_clock::now() - start);
    });
    WaitForWaiter();
    link_.reset();
    const auto [ok, waited] = waiter.get();
    EXPECT_FALSE(ok);
    EXPECT_LT(waited, 10s) << "released, not timed out";
}

}  // namespace
}  // namespace carvex
