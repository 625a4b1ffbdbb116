#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <sstream>

#include "cardsim/pty_pair.h"
#include "carvex/link/diag_link.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/serial_device.h"
#include "tests/support/card_fixture.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace cardsim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

class PacketLog : public carvex::DiagObserver {
  public:
    void OnPacket(int, std::span<const uint8_t> packet) override {
        std::lock_guard lock(mutex_);
        packets_.emplace_back(packet.begin(), packet.end());
    }
    std::vector<Bytes> Packets() {
        std::lock_guard lock(mutex_);
        return packets_;
    }

  private:
    std::mutex mutex_;
    std::vector<Bytes> packets_;
};

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// The PC's side: a DIAG link on the card's PC UI interface, switched to DIAG.
class SimulatedCardTest : public ::testing::Test {
  protected:
    static constexpr int kScale = 10;

    void SetUp() override { Start(); }

    // The link stays open across the switch, so a card that says "OK" to it would have the text
    // run into its first reply; the library closes and reopens the port instead.
    static CardProfile SilentSwitchProfile() {
        auto profile = testsupport::ExampleProfile();
        profile.qcdmg_ok = false;
        return profile;
    }

    void Start() {
        sim_ = std::make_unique<testsupport::CardUnderTest>(SilentSwitchProfile(), kScale);
        OpenLink();
    }

    void OpenLink() {
        link_ = std::make_unique<carvex::DiagLink>(card().Root());
        ASSERT_TRUE(link_->Open(card().PcUiPort(), 115200));
        link_->SetObserver(&log_);
        card().ClearRequests();
        ASSERT_TRUE(link_->Send(true, Text("AT$QCDMG\r~")));
        ASSERT_TRUE(card().WaitForRequests(1, 5s));
    }

    SimulatedCard& card() { return *sim_->card; }

    // The port closed and opened again, the card still in DIAG: a request left unanswered on the
    // former opening no longer waits for its reply, which would take the next one's.
    void Reopen() {
        link_->Close();
        ASSERT_TRUE(link_->Open(card().PcUiPort(), 115200));
    }

    // Sends one request and waits for the reply whose first byte is `reply_cmd`.
    std::optional<Bytes> Exchange(const Bytes& request, uint8_t reply_cmd = 0,
                                  std::chrono::milliseconds timeout = 2000ms) {
        if (!link_->Send(false, request)) {
            return std::nullopt;
        }
        Bytes reply(600);
        int32_t received = 0;
        const auto key = carvex::ResponseKey::Of(reply_cmd != 0 ? reply_cmd : request[0]);
        if (!link_->WaitRaw(reply, &received, key, timeout)) {
            return std::nullopt;
        }
        reply.resize(static_cast<size_t>(received));
        return reply;
    }

    static Bytes NvRead(uint16_t item) {
        Bytes p(133, 0);
        p[0] = 0x26;
        p[1] = static_cast<uint8_t>(item & 0xFF);
        p[2] = static_cast<uint8_t>(item >> 8);
        return p;
    }

    carvex::ScopedClock clock_{std::make_shared<carvex::ScaledClock>(kScale)};
    std::unique_ptr<testsupport::CardUnderTest> sim_;
    PacketLog log_;
    std::unique_ptr<carvex::DiagLink> link_;
};

TEST_F(SimulatedCardTest, SwitchesToDiagOnTheAtCommandAndItsFlag) {
    EXPECT_TRUE(card().InDiagMode());
    const auto requests = card().Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].command, Command::kDiagSwitch);
    EXPECT_EQ(requests[0].bytes, Text("AT$QCDMG\r~"));

    const auto reply = Exchange(NvRead(550));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), 133u);
    EXPECT_EQ((*reply)[3], 0x08);
    EXPECT_EQ(card().Requests().back().bytes, NvRead(550));
}

TEST_F(SimulatedCardTest, RecordsThePortBeingClosedAndReopened) {
    ASSERT_TRUE(card().WaitForPortEvents(1, 5s));
    link_->Close();
    ASSERT_TRUE(link_->Open(card().PcUiPort(), 115200));
    ASSERT_TRUE(card().WaitForPortEvents(3, 5s));
    const auto events = card().PortEvents();
    EXPECT_EQ(std::vector<PortEvent>(events.begin(), events.begin() + 3),
              (std::vector<PortEvent>{
                  {Channel::kPcUi, true}, {Channel::kPcUi, false}, {Channel::kPcUi, true}}));
}

TEST_F(SimulatedCardTest, BackupKeepsWrittenItemsAcrossARestartAndLeavesTheProfileAlone) {
    const auto profile_path = std::string(CARDWRIGHT_EXAMPLES_DIR) + "/card.profile";
    std::stringstream before;
    before << std::ifstream(profile_path).rdbuf();

    Bytes write = NvRead(10);
    write[0] = 0x27;
    write[3] = 0x09;
    ASSERT_TRUE(Exchange(write));
    const auto backup = Exchange({0xFA, 0x13, 0x00, 0x00});
    ASSERT_TRUE(backup);
    EXPECT_EQ(*backup, (Bytes{0xFA, 0x00, 0x00, 0x00}));

    // A new card process on the same state file.
    link_.reset();
    cardsim::SimulatedCard::Options options;
    options.profile = SilentSwitchProfile();
    options.state_file = sim_->state_dir.Path() / "card.nv";
    sim_->card.reset();
    sim_->card = std::make_unique<SimulatedCard>(options);
    EXPECT_EQ(card().Nv(10).value()[0], 0x09);
    EXPECT_EQ(card().Nv(441).value()[1], 0x03) << "items not written keep the profile's value";

    std::stringstream after;
    after << std::ifstream(profile_path).rdbuf();
    EXPECT_EQ(before.str(), after.str());
}

// A backup that cannot be kept is answered "failed", leaves the state file of the backup before
// whole, and the card goes on answering: a full disk cuts the file short, a folder in the way of
// the file's path keeps it from being made at all.
TEST_F(SimulatedCardTest, ABackupThatCannotBeKeptIsAnsweredFailed) {
    Bytes write = NvRead(10);
    write[0] = 0x27;
    write[3] = 0x09;
    ASSERT_TRUE(Exchange(write));
    ASSERT_EQ(Exchange({0xFA, 0x13, 0x00, 0x00}), (Bytes{0xFA, 0x00, 0x00, 0x00}));
    const auto state_file = sim_->state_dir.Path() / "card.nv";
    const std::string kept = testsupport::Contents(state_file);
    ASSERT_NE(kept.find("10 = 09"), std::string::npos) << kept;

    write[3] = 0x07;
    ASSERT_TRUE(Exchange(write));
    {
        testsupport::FileSizeLimit full_disk(64);
        EXPECT_EQ(Exchange({0xFA, 0x13, 0x00, 0x00}), (Bytes{0xFA, 0x01, 0x00, 0x00}));
    }
    EXPECT_EQ(testsupport::Contents(state_file), kept);
    EXPECT_EQ(Exchange(NvRead(10)).value().at(3), 0x07) << "the card answers on";

    link_.reset();
    testsupport::TempDir dir;
    testsupport::Put(dir.Path() / "not-a-folder", "");
    cardsim::SimulatedCard::Options options;
    options.profile = SilentSwitchProfile();
    options.state_file = dir.Path() / "not-a-folder" / "card.nv";
    sim_->card.reset();
    sim_->card = std::make_unique<SimulatedCard>(options);
    OpenLink();
    EXPECT_EQ(Exchange({0xFA, 0x13, 0x00, 0x00}), (Bytes{0xFA, 0x01, 0x00, 0x00}));
    EXPECT_TRUE(Exchange(NvRead(550))) << "the card answers on";
}

TEST_F(SimulatedCardTest, ResetMakesTheCardGoAwayAndComeBack) {
    const auto reply = Exchange({0x29, 0x02, 0x00});
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, (Bytes{0x29, 0x02, 0x00}));
    EXPECT_TRUE(card().WaitForPresence(false, 5s));
    EXPECT_TRUE(card().WaitForPresence(true, 5s));
    EXPECT_EQ(card().Resets(), 1);
    EXPECT_FALSE(card().InDiagMode()) << "a restarted card talks AT again";
    link_.reset();
    OpenLink();
    EXPECT_TRUE(Exchange(NvRead(550)));
}

// A reply the card scheduled before its restart never reaches the PC on the interfaces it comes
// back with: the first packet there answers a request made there.
TEST_F(SimulatedCardTest, ALateReplyGoesWithTheCardWhenItRestarts) {
    card().SetFault(Command::kStatus, Fault::Make(Fault::Kind::kLateReply, 5000, 1));
    ASSERT_TRUE(link_->Send(false, Bytes{0x0C}));
    ASSERT_EQ(Exchange({0x29, 0x02, 0x00}), (Bytes{0x29, 0x02, 0x00}));
    ASSERT_TRUE(card().WaitForPresence(false, 5s));
    ASSERT_TRUE(card().WaitForPresence(true, 5s));
    link_.reset();
    OpenLink();
    const size_t seen = log_.Packets().size();
    // Due well after the status reply would have been.
    card().SetFault(Command::kDiagVersion, Fault::Make(Fault::Kind::kLateReply, 8000, 1));
    ASSERT_TRUE(Exchange({0x1C}, 0, 60000ms));
    const auto packets = log_.Packets();
    ASSERT_GT(packets.size(), seen);
    EXPECT_EQ(packets[seen], (Bytes{0x1C, 8, 0})) << "a reply from before the restart came first";
}

TEST_F(SimulatedCardTest, FaultsNoReplyLateReplyBadFcsAndNvStatus) {
    card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kNoReply, 0, 1));
    EXPECT_FALSE(Exchange(NvRead(550), 0, 1000ms));
    Reopen();
    EXPECT_TRUE(Exchange(NvRead(550))) << "the fault hit one request only";

    const size_t seen = log_.Packets().size();
    card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kLateReply, 3000, 1));
    EXPECT_FALSE(Exchange(NvRead(550), 0, 1000ms));
    Reopen();
    card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kLateReply, 500, 1));
    EXPECT_TRUE(Exchange(NvRead(550), 0, 4000ms));
    // Both replies are in before the next request goes out, so neither can answer it.
    ASSERT_TRUE(testsupport::WaitUntil([&] { return log_.Packets().size() >= seen + 2; }));

    card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kBadFcs, 0, 1));
    EXPECT_FALSE(Exchange(NvRead(550), 0, 1000ms));
    Reopen();

    card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kNvStatus, 1, 2));
    for (uint16_t expected : {1, 1, 0}) {
        const auto reply = Exchange(NvRead(550));
        ASSERT_TRUE(reply);
        EXPECT_EQ((*reply)[131], expected);
    }
}

TEST_F(SimulatedCardTest, FaultsErrorReplyUnsolicitedSplitAndBatch) {
    card().SetFault(Command::kBoardType, Fault::Make(Fault::Kind::kErrorReply, 0, 1));
    const auto error = Exchange({0xFC}, 0x13);
    ASSERT_TRUE(error);
    EXPECT_EQ(*error, (Bytes{0x13, 0xFC}));

    for (auto kind : {Fault::Kind::kUnsolicited, Fault::Kind::kSplit, Fault::Kind::kBatch}) {
        const size_t seen = log_.Packets().size();
        card().SetFault(Command::kBoardType, Fault::Make(kind, 0, 1));
        const auto reply = Exchange({0xFC});
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->size(), 32u);
        const size_t extra = kind == Fault::Kind::kSplit ? 1 : 2;
        EXPECT_EQ(log_.Packets().size(), seen + extra);
    }
}

TEST_F(SimulatedCardTest, VanishingDeviceFailsThePortAndLeavesTheRoot) {
    card().SetFault(Command::kStatus, Fault::Make(Fault::Kind::kVanish));
    EXPECT_FALSE(Exchange({0x0C}, 0, 500ms));
    EXPECT_TRUE(card().WaitForPresence(false, 5s));
    EXPECT_FALSE(std::filesystem::exists(card().Root().ComDirectory() / "COM12"));
    link_->Close();
    EXPECT_FALSE(link_->IsOpen()) << "a link on a vanished port still closes";
}

TEST(SimulatedCardModem, AnswersTheModelWithEchoAndCmeErrors) {
    testsupport::CardUnderTest sim(testsupport::ExampleProfile());
    carvex::SerialDevice modem;
    ASSERT_EQ(modem.Open(sim.card->Root().ComDirectory() / "COM13", 115200), carvex::kPortNoError);
    auto ask = [&](size_t expected_size) {
        EXPECT_TRUE(modem.WriteAll(Text("AT+CGMM\r"), std::chrono::seconds(2)));
        Bytes reply;
        while (reply.size() < expected_size &&
               modem.WaitReadable() == carvex::SerialDevice::Wait::kReadable) {
            Bytes chunk(256);
            chunk.resize(modem.Drain(chunk).value_or(0));
            reply.insert(reply.end(), chunk.begin(), chunk.end());
        }
        return std::string(reply.begin(), reply.end());
    };
    const std::string model = "AT+CGMM\r\r\nLW-X4201\r\n\r\nOK\r\n";
    EXPECT_EQ(ask(model.size()), model);
    sim.card->SetFault(Command::kModel,
                       Fault::Text(Fault::Kind::kErrorReply, "+CME ERROR: SIM busy"));
    const std::string busy = "AT+CGMM\r\r\n+CME ERROR: SIM busy\r\n";
    EXPECT_EQ(ask(busy.size()), busy);
    EXPECT_EQ(sim.card->Requests().back().command, Command::kModel);
}

}  // namespace
}  // namespace cardsim
