// Which request a queued reply answers, told without a port or a thread: each wait here has run
// out or found its packet before it would block.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "carvex/link/response_queue.h"

namespace carvex {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kBackup = 0xFA;
const Bytes kBackupReply = {kBackup, 0x00, 0x00, 0x00};

class ResponseQueueTest : public ::testing::Test {
  protected:
    // A request sent, its wait run out with nothing arrived: the request is overdue.
    uint64_t Unanswered(ResponseKey key) {
        const uint64_t mark = queue_.BeginRequest();
        EXPECT_FALSE(queue_.Wait(key, reply_, 0ns));
        return mark;
    }
    bool Answered(ResponseKey key, std::optional<uint64_t> since = std::nullopt) {
        return queue_.Wait(key, reply_, 0ns, since).has_value();
    }

    ResponseQueue queue_;
    std::array<uint8_t, 8> reply_{};
};

TEST_F(ResponseQueueTest, TheFirstReplyAfterAWaitRanOutIsItsLateOne) {
    const ResponseKey key = ResponseKey::Of(kBackup);
    Unanswered(key);
    queue_.BeginRequest();
    queue_.PutPacket(kBackupReply);
    EXPECT_FALSE(Answered(key)) << "taken for the earlier request's late reply";
    EXPECT_EQ(queue_.Unanswered(), 1u) << "dropped, and counted";

    queue_.BeginRequest();
    queue_.PutPacket(kBackupReply);
    EXPECT_TRUE(Answered(key)) << "the overdue request had its reply: the next one answers";

    // A reply of another kind is not the overdue request's.
    Unanswered(key);
    queue_.BeginRequest();
    queue_.PutPacket(Bytes{0x0C, 0x01});
    EXPECT_TRUE(Answered(ResponseKey::Of(0x0C)));
}

// A retry asks what the attempt before it asked: an earlier attempt's late reply answers it.
TEST_F(ResponseQueueTest, AWaitSinceTheOverdueRequestTakesItsLateReply) {
    const ResponseKey key = ResponseKey::NvItem(0x26, 550);
    const uint64_t first = Unanswered(key);
    queue_.BeginRequest();
    queue_.PutPacket(Bytes{0x26, 0x26, 0x02, 0x07});
    EXPECT_FALSE(queue_.TakeQueued(key, reply_, first + 1)) << "not the second attempt's own";
    EXPECT_TRUE(queue_.TakeQueued(key, reply_, first)) << "a look since the first attempt";
    queue_.BeginRequest();
    queue_.PutPacket(Bytes{0x26, 0x26, 0x02, 0x07});
    EXPECT_TRUE(Answered(key)) << "no request is overdue any more";
}

// A card that never answers one request, and answers the ones after it: one reply goes for the
// lost one, and then every request has its own again (no request after the first is marked).
TEST_F(ResponseQueueTest, ALostReplyCostsOneReplyNotEveryOneAfterIt) {
    const ResponseKey key = ResponseKey::Of(kBackup);
    Unanswered(key);
    for (int request = 0; request < 3; ++request) {
        queue_.BeginRequest();
        queue_.PutPacket(kBackupReply);
        EXPECT_EQ(Answered(key), request > 0) << "request " << request;
    }
}

// A request tried three times without an answer (a card silent for a while) is one overdue
// request: the next request loses one reply to it, not three.
TEST_F(ResponseQueueTest, RepeatedUnansweredRequestsAreOneOverdueRequest) {
    const ResponseKey key = ResponseKey::NvItem(0x26, 550);
    for (int attempt = 0; attempt < 3; ++attempt) {
        Unanswered(key);
    }
    const Bytes reply = {0x26, 0x26, 0x02};
    queue_.BeginRequest();
    queue_.PutPacket(reply);
    EXPECT_FALSE(Answered(key));
    queue_.BeginRequest();
    queue_.PutPacket(reply);
    EXPECT_TRUE(Answered(key));
}

// Mode control may echo its mode: the echo of the other mode neither answers a request nor is
// taken for its late reply; a bare reply is both requests' to take.
TEST_F(ResponseQueueTest, AnEchoNamesTheRequestItAnswers) {
    const ResponseKey offline = ResponseKey::Except(0x29, 2);
    const ResponseKey reset = ResponseKey::Except(0x29, 1);
    EXPECT_TRUE(offline.Matches(Bytes{0x29, 0x01, 0x00}));
    EXPECT_FALSE(offline.Matches(Bytes{0x29, 0x02, 0x00}));
    EXPECT_TRUE(offline.Matches(Bytes{0x29}));
    EXPECT_TRUE(offline.Matches(Bytes{0x29, 0x07}));

    Unanswered(offline);
    queue_.BeginRequest();
    queue_.PutPacket(Bytes{0x29, 0x02, 0x00});
    EXPECT_TRUE(Answered(reset)) << "the reset's echo, whatever the offline request awaits";
    queue_.BeginRequest();
    queue_.PutPacket(Bytes{0x29});
    EXPECT_FALSE(Answered(reset)) << "a bare reply: the overdue offline request's";
}

TEST_F(ResponseQueueTest, APortOpenedAnewAwaitsNoEarlierReply) {
    const ResponseKey key = ResponseKey::Of(kBackup);
    Unanswered(key);
    queue_.RestartCounts();
    queue_.BeginRequest();
    queue_.PutPacket(kBackupReply);
    EXPECT_TRUE(Answered(key));
}

}  // namespace
}  // namespace carvex
