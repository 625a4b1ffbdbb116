#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "cardsim/pty_pair.h"
#include "carvex/link/at_port.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/device_publisher.h"
#include "carvex/platform/environment.h"
#include "tests/support/temp_dir.h"

namespace carvex {
namespace {

using namespace std::chrono_literals;

// A modem port whose other end answers one command with a fixed text.
class AtPortTest : public ::testing::Test {
  protected:
    AtPortTest() : publisher_(DeviceRoot(dir_.Path())) {
        publisher_.PublishComPort("COM13", pty_.SlavePath());
    }
    ~AtPortTest() override {
        if (peer_.joinable()) {
            peer_.join();
        }
    }

    void Answer(const std::string& reply) {
        peer_ = std::thread([this, reply] {
            std::string line;
            while (line.find('\r') == std::string::npos) {
                const auto bytes = pty_.Read(5s);
                if (bytes.empty()) {
                    return;
                }
                line.append(bytes.begin(), bytes.end());
            }
            received_ = line;
            pty_.Write({reinterpret_cast<const uint8_t*>(reply.data()), reply.size()});
        });
    }

    testsupport::TempDir dir_;
    DevicePublisher publisher_;
    cardsim::PtyPair pty_;
    std::thread peer_;
    std::string received_;
};

class AtPortScaledTest : public AtPortTest {
  protected:
    ScopedClock clock_{std::make_shared<ScaledClock>(20)};
};

TEST_F(AtPortScaledTest, EchoedReplyGivesOnlyTheModelAndSetsThePortVariableWhileOpen) {
    AtPort at(publisher_.Root());
    EXPECT_FALSE(EnvironmentValue(AtPort::kPortVariable));
    ASSERT_TRUE(at.Open(13));
    EXPECT_EQ(EnvironmentValue(AtPort::kPortVariable), "\\\\.\\COM13");
    Answer("AT+CGMM\r\r\nMODEL1\r\n\r\nOK\r\n");
    std::array<char, 128> reply{};
    EXPECT_EQ(at.SendCommand("AT+CGMM\r", reply.data()), kAtOk);
    EXPECT_STREQ(reply.data(), "MODEL1");
    peer_.join();
    EXPECT_EQ(received_, "AT+CGMM\r");
    at.Close();
    EXPECT_FALSE(EnvironmentValue(AtPort::kPortVariable));
}

TEST_F(AtPortScaledTest, ReplyClassification) {
    struct Case {
        const char* reply;
        int result;
        const char* body;
    } cases[] = {
        {"OK", kAtOk, ""},
        {"\r\nMODEL2\r\n\r\nOK\r\n", kAtOk, "MODEL2"},
        {"\r\nERROR\r\n\r\nOK\r\n", kAtOk, "ERROR"},
        {"\r\n+CME ERROR: SIM busy\r\n", kAtSimBusy, ""},
        {"\r\n+CME ERROR: SIM failure\r\n", kAtSimFailure, ""},
        {"\r\n+CME ERROR: operation not allowed\r\n", kAtNotAllowed, ""},
        {"\r\n+CME ERROR: incorrect password\r\n", kAtIncorrectPassword, ""},
        {"\r\nERROR\r\n", kAtNoAnswer, ""},
        {"\r\nCOMMAND NOT SUPPORTED\r\n", kAtNoAnswer, ""},
    };
    for (const auto& c : cases) {
        AtPort at(publisher_.Root());
        ASSERT_TRUE(at.Open(13));
        Answer(c.reply);
        std::array<char, 128> reply{};
        EXPECT_EQ(at.SendCommand("AT+CGMM\r", reply.data()), c.result) << c.reply;
        EXPECT_STREQ(reply.data(), c.body) << c.reply;
        peer_.join();
    }
}

TEST_F(AtPortScaledTest, NullReplyBufferAndMissingPort) {
    AtPort at(publisher_.Root());
    EXPECT_FALSE(at.Open(14));
    EXPECT_FALSE(EnvironmentValue(AtPort::kPortVariable));
    ASSERT_TRUE(at.Open(13));
    EXPECT_EQ(at.SendCommand("AT\r", nullptr), kAtNoAnswer);
}

// A faster clock on which each AT poll's pause lets the card send the next piece of its reply.
class PieceByPieceClock : public ScaledClock {
  public:
    PieceByPieceClock(cardsim::PtyPair& pty, std::vector<std::string> pieces)
        : ScaledClock(20), pty_(pty), pieces_(std::move(pieces)) {}
    void SleepFor(Duration named) const override {
        if (next_ < pieces_.size()) {
            const std::string& piece = pieces_[next_++];
            pty_.Write({reinterpret_cast<const uint8_t*>(piece.data()), piece.size()});
        }
        ScaledClock::SleepFor(named);
    }
    size_t Pauses() const { return next_; }

  private:
    cardsim::PtyPair& pty_;
    std::vector<std::string> pieces_;
    mutable size_t next_ = 0;
};

TEST_F(AtPortTest, AReplyArrivingInPiecesIsCollectedAcrossPolls) {
    auto clock =
        std::make_shared<PieceByPieceClock>(pty_, std::vector<std::string>{"01\r\n\r\nO", "K\r\n"});
    ScopedClock scoped(clock);
    AtPort at(publisher_.Root());
    ASSERT_TRUE(at.Open(13));
    const std::string first = "AT+CGMM\r\r\nLW-X42";
    ASSERT_TRUE(pty_.Write({reinterpret_cast<const uint8_t*>(first.data()), first.size()}));
    std::array<char, 128> reply{};
    EXPECT_EQ(at.SendCommand("AT+CGMM\r", reply.data()), kAtOk);
    EXPECT_STREQ(reply.data(), "LW-X4201");
    EXPECT_EQ(clock->Pauses(), 2u) << "the reply ended only with its last piece";
    at.Close();
}

}  // namespace
}  // namespace carvex
