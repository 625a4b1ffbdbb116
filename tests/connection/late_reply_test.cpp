#include <gtest/gtest.h>

#include <array>
#include <thread>

#include "cardsim/card_bench.h"
#include "carvex/connection/card_connection.h"
#include "carvex/connection/card_control.h"
#include "carvex/connection/card_operations.h"
#include "carvex/connection/identity_queries.h"
#include "carvex/connection/main_control.h"
#include "carvex/link/at_port.h"
#include "carvex/link/little_endian.h"
#include "carvex/link/request_table.h"
#include "carvex/link/resolve_request.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/environment.h"
#include "tests/support/card_fixture.h"
#include "tests/support/scripted_port.h"
#include "tests/support/wait_until.h"

namespace carvex {
namespace {

using cardsim::Command;
using cardsim::Fault;
using namespace std::chrono_literals;

constexpr int kScale = 20;

// A connection to the example card in which one reply comes after its request's wait has given
// up: once it has arrived (and waits in the queue), the next requests must each get their own
// answer.
class LateReplyTest : public ::testing::Test {
  protected:
    LateReplyTest() : sim_(testsupport::ExampleProfile(), kScale), connection_(sim_.card->Root()) {
        EXPECT_TRUE(connection_.OpenInDiagMode(sim_.card->PcUiPort()));
    }

    // The late reply has come and nobody took it.
    void LateReplyQueued() {
        ASSERT_TRUE(testsupport::WaitUntil([&] { return connection_.Link().Queue().Size() > 0; }));
    }

    std::vector<uint8_t> Read(uint16_t item) {
        ConnectionGuard guard(connection_);
        NvItemPacket packet(NvItemPacket::kRead, item);
        int32_t status = -1;
        EXPECT_TRUE(connection_.NvRequest(packet, &status)) << item;
        EXPECT_EQ(packet.Item(), item);
        return {packet.Data().begin(), packet.Data().end()};
    }
    bool Write(uint16_t item, uint8_t first_byte) {
        ConnectionGuard guard(connection_);
        NvItemPacket packet(NvItemPacket::kWrite, item);
        packet.Data()[0] = first_byte;
        int32_t status = -1;
        return connection_.NvRequest(packet, &status);
    }
    std::vector<uint8_t> OnCard(uint16_t item) {
        const auto value = sim_.card->Nv(item);
        return value ? std::vector<uint8_t>(value->begin(), value->end()) : std::vector<uint8_t>{};
    }

    ScopedClock clock_{std::make_shared<ScaledClock>(kScale)};
    testsupport::CardUnderTest sim_;
    MainControl connection_;
};

TEST_F(LateReplyTest, ALateNvReadAnswersNoOtherItem) {
    sim_.card->SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kLateReply, 4500, 1));
    EXPECT_EQ(Read(550), OnCard(550)) << "its second attempt gets the item";
    LateReplyQueued();
    EXPECT_EQ(Read(10), OnCard(10));
    EXPECT_EQ(Read(441), OnCard(441));
    EXPECT_EQ(Read(10), OnCard(10));
    EXPECT_GE(connection_.Link().Queue().Unanswered(), 1u) << "the late reply was dropped";
}

TEST_F(LateReplyTest, ALateNvWriteReplyConfirmsNoOtherWrite) {
    sim_.card->SetFault(Command::kNvWrite, Fault::Make(Fault::Kind::kLateReply, 4500, 1));
    EXPECT_TRUE(Write(50030, 0x11));
    LateReplyQueued();
    EXPECT_FALSE(Write(550, 0x22)) << "the card refuses its read-only item";
    EXPECT_TRUE(Write(50031, 0x33));
    EXPECT_EQ(OnCard(50031).at(0), 0x33);
    EXPECT_GE(connection_.Link().Queue().Unanswered(), 1u);
}

TEST_F(LateReplyTest, ALatePortSettingReplyAnswersNoOtherSubsystemRequest) {
    sim_.card->SetFault(Command::kPortGet, Fault::Make(Fault::Kind::kLateReply, 2500, 1));
    ConnectionGuard guard(connection_);
    int32_t value = -1;
    int32_t bits = -1;
    int32_t status = -1;
    EXPECT_FALSE(GetPortSetting(connection_, &value, &bits, &status));
    EXPECT_EQ(status, kStatusNoReply);
    LateReplyQueued();

    std::string dashboard;
    ASSERT_TRUE(QueryDashboardVersion(connection_, &dashboard, &status));
    EXPECT_EQ(dashboard, testsupport::ExampleProfile().dashboard);
    sim_.card->SetFault(Command::kPortSet, Fault::Make(Fault::Kind::kResult, 1, 1));
    EXPECT_FALSE(SetPortSetting(connection_, 3, 4, &status)) << "the card refused it";
    ASSERT_TRUE(GetPortSetting(connection_, &value, &bits, &status));
    const auto [state, mask] = sim_.card->PortSetting();
    EXPECT_EQ(value, state);
    EXPECT_EQ(bits, mask);
}

// A request answered only after its wait gave up, then one of the same kind never answered: the
// late reply is dropped (and counted), not taken for the later request's. Replies of these kinds
// carry nothing of their request (mode control carries its mode) to tell them apart by.
TEST_F(LateReplyTest, ALateReplyIsNotTakenForTheNextRequestOfItsKind) {
    // The offline request's reply comes during the third reset attempt's wait.
    sim_.card->SetFault(Command::kOffline, Fault::Make(Fault::Kind::kLateReply, 9000, 1));
    sim_.card->SetFault(Command::kReset, Fault::Make(Fault::Kind::kNoReply));
    {
        ConnectionGuard guard(connection_);
        EXPECT_FALSE(RestartCard(connection_)) << "the reset was never acknowledged";
    }
    EXPECT_EQ(testsupport::RequestsOf(*sim_.card, Command::kReset).size(), 5u);
    EXPECT_GE(connection_.Link().Queue().Unanswered(), 1u) << "the offline reply came, unused";

    // The first backup's reply comes during the second's wait.
    sim_.card->SetFault(Command::kBackup, Fault::Make(Fault::Kind::kLateReply, 30000, 1));
    sim_.card->AddFault(Command::kBackup, Fault::Make(Fault::Kind::kNoReply, 0, 1));
    ConnectionGuard guard(connection_);
    int32_t status = -1;
    EXPECT_FALSE(BackupNv(connection_, &status));
    EXPECT_FALSE(BackupNv(connection_, &status)) << "the card never answered the second backup";
    EXPECT_EQ(status, kStatusNoReply);

    // The same for the board type. The second query's wait ran out too, but the card answered
    // once meanwhile: the third query's reply is its own.
    sim_.card->SetFault(Command::kBoardType, Fault::Make(Fault::Kind::kLateReply, 6000, 1));
    sim_.card->AddFault(Command::kBoardType, Fault::Make(Fault::Kind::kNoReply, 0, 1));
    std::string type;
    EXPECT_FALSE(QueryBoardType(connection_, &type, &status));
    EXPECT_FALSE(QueryBoardType(connection_, &type, &status)) << type;
    EXPECT_TRUE(QueryBoardType(connection_, &type, &status));
    EXPECT_EQ(type, testsupport::ExampleProfile().board_type);
}

// The card acknowledges the reset only after the first attempt's wait has run out, and is gone
// (restarting) by the time the next attempt would be sent: the reset has succeeded all the same.
TEST(ResetCard, AnAcknowledgementAfterTheWaitIsTakenOnTheNextLook) {
    ScopedClock clock(std::make_shared<ScaledClock>(100));
    auto end = std::make_shared<testsupport::ScriptedPortRecord>();
    MainControl connection([end](int, uint32_t, DiagLink::OpenError&) {
        return std::make_unique<testsupport::ScriptedPort>(end);
    });
    ASSERT_TRUE(connection.OpenPort(1, 115200));
    end->on_write = [&] {
        if (end->writes == 1) {
            return true;
        }
        // The acknowledgement of the first attempt arrives now, and the card is gone.
        end->FeedFrame({0x29, 0x02, 0x00});
        EXPECT_TRUE(testsupport::WaitUntil([&] { return connection.Link().Queue().Size() > 0; }));
        return false;
    };
    ConnectionGuard guard(connection);
    EXPECT_TRUE(ResetCard(connection));
    EXPECT_EQ(end->writes, 2) << "no attempt after the acknowledgement was seen";
}

// The card answered one NV read twice (an attempt that timed out and its retry, as one late
// reply makes it). The second answer was on the port before the next request was sent, while the
// receiver still paused after the first: however late it is queued, it answers nothing sent after
// it arrived. Here the next request is the request-id probe, itself an NV read.
TEST(ArrivalOrder, AReplyOnThePortBeforeARequestWasSentDoesNotAnswerIt) {
    ScopedClock clock(std::make_shared<Clock>());
    auto end = std::make_shared<testsupport::ScriptedPortRecord>();
    MainControl connection([end](int, uint32_t, DiagLink::OpenError&) {
        return std::make_unique<testsupport::ScriptedPort>(end);
    });
    ASSERT_TRUE(connection.OpenPort(1, 115200));
    std::vector<uint8_t> imei(133, 0);
    imei[0] = 0x26;
    PutLe16(imei, 1, 550);
    // The card asks for its second table, in which the version request is not.
    std::vector<uint8_t> table_b(133, 0);
    table_b[0] = 0x26;
    PutLe32(table_b, 3, kProbeSignature);
    end->on_write = [&] {
        if (end->writes == 2) {
            end->FeedFrame(table_b);
        }
        return true;
    };
    ConnectionGuard guard(connection);
    std::thread card([&] {
        ASSERT_TRUE(testsupport::WaitUntil([&] { return connection.Link().Queue().HasWaiter(); }));
        end->FeedFrame(imei);
        end->FeedFrame(imei);
    });
    std::array<uint8_t, 128> data{};
    int32_t status = -1;
    ASSERT_TRUE(ReadItem(connection, 550, data, &status));
    card.join();
    DiagRequestHeader header;
    int32_t resolution = -1;
    EXPECT_FALSE(ResolveRequest(connection.Link(), kRequestVersions, &header, &resolution));
    EXPECT_EQ(resolution, kResolveNotInTableB) << "40: the IMEI's second answer took the probe's";
}

// Three cards in one device root, a connection of its own for each on a thread of its own: each
// reaches its own card, and asks its own card's modem for the model.
TEST(CardConnection, EachConnectionTalksToItsOwnCardAndItsOwnModem) {
    constexpr int kCardScale = 10;
    ScopedClock clock(std::make_shared<ScaledClock>(kCardScale, ScaledClock::Timeouts::kFull));
    testsupport::TempDir state;
    cardsim::CardBench::Options options;
    options.profile = testsupport::ExampleProfile();
    options.cards = 3;
    options.state_file = state.Path() / "card.nv";
    options.time_scale = kCardScale;
    cardsim::CardBench bench(std::move(options));

    std::array<std::vector<uint8_t>, 3> imeis;
    std::array<bool, 3> opened{};
    std::array<bool, 3> typed{};
    std::vector<std::thread> threads;
    for (size_t k = 0; k < 3; ++k) {
        threads.emplace_back([&, k] {
            CardConnection connection(bench.Root());
            opened[k] = connection.Open(bench.Card(static_cast<int>(k) + 1).PcUiPort());
            imeis[k].resize(15);
            int32_t status = -1;
            if (!opened[k] || !connection.Imei(imeis[k], &status)) {
                imeis[k].clear();
            }
            std::string model;
            typed[k] = connection.BoardType(&model);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (size_t k = 0; k < 3; ++k) {
        const cardsim::SimulatedCard& card = bench.Card(static_cast<int>(k) + 1);
        EXPECT_TRUE(opened[k] && typed[k]) << "card " << k + 1;
        const auto held = card.Nv(550);
        ASSERT_TRUE(held) << "card " << k + 1;
        EXPECT_EQ(imeis[k], std::vector<uint8_t>(held->begin(), held->begin() + 15))
            << "card " << k + 1;
        EXPECT_EQ(testsupport::RequestsOf(card, cardsim::Command::kModel).size(), 1u)
            << "card " << k + 1 << " was asked for its model by its own modem";
    }
    EXPECT_FALSE(EnvironmentValue(AtPort::kPortVariable)) << "no card's port in the environment";
}

}  // namespace
}  // namespace carvex
