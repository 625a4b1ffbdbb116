#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "tests/api/exports_fixture.h"

namespace {

using cardsim::Command;
using cardsim::Fault;
using Bytes = std::vector<uint8_t>;
using testsupport::ExportsTest;

// Pauses run ten times faster, time-outs at their full length: a test that expects an answer
// gets it however busy the machine is, and the few that wait for a time-out take its time.
class CardExportsTest : public ExportsTest {
  protected:
    CardExportsTest() : ExportsTest(10, Timeouts::kFull) {}

    // The mode control and status requests the card received, in order.
    std::vector<Command> ModeRequests() {
        std::vector<Command> sequence;
        for (const auto& r : card().Requests()) {
            if (r.command == Command::kStatus || r.command == Command::kOffline ||
                r.command == Command::kReset) {
                sequence.push_back(r.command);
            }
        }
        return sequence;
    }
};

std::string Text(const std::array<char, 128>& buffer) {
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

cardsim::CardProfile ProfileWith(void (*change)(cardsim::CardProfile&)) {
    auto profile = testsupport::ExampleProfile();
    change(profile);
    return profile;
}

TEST_F(CardExportsTest, VersionsThroughTableAOneExchangePerCall) {
    ASSERT_NO_FATAL_FAILURE(Open());
    std::array<char, 128> firmware{};
    std::array<char, 128> pcb{};
    int32_t status = -1;
    ASSERT_EQ(GetFirmwareVersion(firmware.data(), 128, &status), 1);
    EXPECT_EQ(Text(firmware), "31.742.06.19.208");
    EXPECT_EQ(status, 40);
    ASSERT_EQ(GetPCBVersion(pcb.data(), 128, &status), 1);
    EXPECT_EQ(Text(pcb), "LWX4201-MBR3-QK7A Ver.C");
    const auto versions = Requests(Command::kVersions);
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[0].bytes, Bytes({0x4B, 0xC9, 0x03, 0xFF}));
    EXPECT_EQ(Requests(Command::kProbe).size(), 2u);
}

TEST_F(CardExportsTest, VersionsThroughTheCardsHeaderAndTableB) {
    StartCard(ProfileWith([](cardsim::CardProfile& p) {
        p.probe = cardsim::CardProfile::Probe::kCardHeader;
        p.version_header = carvex::DiagRequestHeader::Subsystem(0x4B, 0xC9, 0xFF11);
    }));
    ASSERT_NO_FATAL_FAILURE(Open());
    std::array<char, 128> firmware{};
    int32_t status = -1;
    ASSERT_EQ(GetFirmwareVersion(firmware.data(), 128, &status), 1);
    EXPECT_EQ(status, 41);
    EXPECT_EQ(Requests(Command::kVersions).at(0).bytes, Bytes({0x4B, 0xC9, 0x11, 0xFF}));

    StartCard(ProfileWith(
        [](cardsim::CardProfile& p) { p.probe = cardsim::CardProfile::Probe::kTableB; }));
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(GetPCBVersion(firmware.data(), 128, &status), 0);
    EXPECT_EQ(status, 39);
    EXPECT_TRUE(Requests(Command::kVersions).empty());
}

TEST_F(CardExportsTest, VersionTextsKeepTheirFieldAndTheCallersSize) {
    StartCard(
        ProfileWith([](cardsim::CardProfile& p) { p.firmware = std::string(31, 'F') + "XYZ"; }));
    ASSERT_NO_FATAL_FAILURE(Open());
    std::array<char, 128> firmware{};
    int32_t status = 0;
    ASSERT_EQ(GetFirmwareVersion(firmware.data(), 128, &status), 1);
    EXPECT_EQ(Text(firmware), std::string(31, 'F')) << "31 characters, no zero in the field";

    std::array<char, 128> small;
    small.fill('#');
    ASSERT_EQ(GetFirmwareVersion(small.data(), 5, &status), 1);
    EXPECT_EQ(std::string(small.data(), 6), "FFFFF#") << "never more than the buffer size";
    ASSERT_EQ(GetDashboardVersion(small.data(), 0, &status), 1);
    EXPECT_EQ(small[0], 'F') << "a size of 0 writes nothing";
}

TEST_F(CardExportsTest, DashboardVersion) {
    ASSERT_NO_FATAL_FAILURE(Open());
    std::array<char, 128> text{};
    int32_t status = -1;
    ASSERT_EQ(GetDashboardVersion(text.data(), 128, &status), 1);
    EXPECT_EQ(Text(text), "LWDS31.742.06.19.208");
    Bytes request(36, 0);
    request[0] = 0x4B;
    request[1] = 0xC9;
    request[2] = 0x24;
    request[3] = 0xFF;
    EXPECT_EQ(Requests(Command::kDashboard).at(0).bytes, request);

    card().SetFault(Command::kDashboard, Fault::Make(Fault::Kind::kResult, 1));
    EXPECT_EQ(GetDashboardVersion(text.data(), 128, &status), 0);
    EXPECT_EQ(status, -1) << "a refusal writes no status";
}

TEST_F(CardExportsTest, BoardTypeFromTheModemPortFirst) {
    ASSERT_NO_FATAL_FAILURE(Open());
    std::array<char, 128> type{};
    ASSERT_EQ(GetBoardType(type.data()), 1);
    EXPECT_EQ(Text(type), "LW-X4201");
    EXPECT_EQ(Requests(Command::kModel).at(0).bytes,
              Bytes({'A', 'T', '+', 'C', 'G', 'M', 'M', '\r'}));
    EXPECT_TRUE(Requests(Command::kBoardType).empty());
}

TEST_F(CardExportsTest, BoardTypeEmptyModemAnswerStillCounts) {
    StartCard(ProfileWith([](cardsim::CardProfile& p) { p.model = ""; }));
    ASSERT_NO_FATAL_FAILURE(Open());
    std::array<char, 128> type{};
    ASSERT_EQ(GetBoardType(type.data()), 1);
    EXPECT_EQ(Text(type), "");
    EXPECT_TRUE(Requests(Command::kBoardType).empty()) << "the DIAG steps are not tried";
}

TEST_F(CardExportsTest, BoardTypeFallsThroughToTheDiagQueries) {
    ASSERT_NO_FATAL_FAILURE(Open());
    card().SetFault(Command::kModel, Fault::Text(Fault::Kind::kErrorReply, "+CME ERROR: SIM busy"));
    std::array<char, 128> type{};
    ASSERT_EQ(GetBoardType(type.data()), 1);
    EXPECT_EQ(Text(type), "MODEL-A");
    EXPECT_EQ(Requests(Command::kBoardType).at(0).bytes, Bytes({0xFC}));

    struct Case {
        const char* pcb;
        int result;
        const char* type;
    } cases[] = {{"ABCDEFGHIJKLMNOP Ver.B", 1, "ABCDEFGH"},
                 {"ABCDEFGH Ver.B", 0, ""},
                 {"NO VERSION", 0, ""}};
    for (const auto& c : cases) {
        auto profile = testsupport::ExampleProfile();
        profile.board_type = "";  // the card does not know FC: it answers with an error packet
        profile.pcb = c.pcb;
        StartCard(profile);
        card().SetFault(Command::kModel, Fault::Make(Fault::Kind::kNoReply));
        ASSERT_NO_FATAL_FAILURE(Open());
        std::array<char, 128> fallback{};
        EXPECT_EQ(GetBoardType(fallback.data()), c.result) << c.pcb;
        EXPECT_EQ(Text(fallback), c.type) << c.pcb;
    }
}

TEST_F(CardExportsTest, NewVersionMark) {
    StartCard(ProfileWith([](cardsim::CardProfile& p) { p.new_version_mark = 0x68; }));
    ASSERT_NO_FATAL_FAILURE(Open());
    int32_t status = -1;
    EXPECT_EQ(IsNewVersion(&status), 1);
    EXPECT_EQ(Requests(Command::kNewVersion).at(0).bytes, Bytes({0x4B, 0xC9, 0x62, 0xFF, 0, 0, 0}));
    card().SetFault(Command::kNewVersion, Fault::Make(Fault::Kind::kNoReply, 0, 1));
    EXPECT_EQ(IsNewVersion(&status), 0);
    EXPECT_EQ(status, -1);
    StartCard(ProfileWith([](cardsim::CardProfile& p) { p.new_version_mark = 0x67; }));
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(IsNewVersion(&status), 0);
}

TEST_F(CardExportsTest, BackupResults) {
    ASSERT_NO_FATAL_FAILURE(Open());
    int32_t status = -1;
    EXPECT_EQ(BackupNVItems(&status), 1);
    EXPECT_EQ(Requests(Command::kBackup).at(0).bytes, Bytes({0xFA, 0x13, 0x00, 0x00}));
    card().SetFault(Command::kBackup, Fault::Make(Fault::Kind::kResult, 1, 1));
    EXPECT_EQ(BackupNVItems(&status), 0);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(BackupNVItems(nullptr), 1) << "a null status is allowed";
}

TEST_F(CardExportsTest, PortSetting) {
    ASSERT_NO_FATAL_FAILURE(Open());
    int32_t status = -1;
    ASSERT_EQ(SetPnPState(0x1FF, 0x102, &status), 1);
    EXPECT_EQ(Requests(Command::kPortSet).at(0).bytes,
              Bytes({0x4B, 0x0F, 0x19, 0xFF, 0xFF, 0x02, 0, 0}));
    int32_t value = -1;
    int32_t bits = -1;
    ASSERT_EQ(GetPnPState(&value, &bits, &status), 1);
    EXPECT_EQ(value, 0xFF);
    EXPECT_EQ(bits, 0x02);

    card().SetFault(Command::kPortGet, Fault::Make(Fault::Kind::kResult, 1, 1));
    value = bits = 77;
    EXPECT_EQ(GetPnPState(&value, &bits, &status), 1);
    EXPECT_EQ(value, 77) << "an invalid setting leaves the outputs alone";
    EXPECT_EQ(bits, 77);

    card().SetFault(Command::kPortSet, Fault::Make(Fault::Kind::kResult, 1, 1));
    EXPECT_EQ(SetPnPState(1, 2, &status), 0);
    EXPECT_EQ(status, -1);
    card().SetFault(Command::kPortGet, Fault::Make(Fault::Kind::kNoReply, 0, 1));
    EXPECT_EQ(GetPnPState(&value, &bits, nullptr), 0);
    card().SetFault(Command::kPortGet, Fault::Make(Fault::Kind::kNoReply, 0, 1));
    EXPECT_EQ(GetPnPState(&value, &bits, &status), 0);
    EXPECT_EQ(status, 1);
}

TEST_F(CardExportsTest, ResetGoesOfflineFirstUnlessTheCardAlreadyIs) {
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_EQ(ResetDsahboard(), 1);
    const auto sequence = ModeRequests();
    EXPECT_EQ(sequence.front(), Command::kStatus) << "the card is asked whether it is offline";
    ASSERT_EQ(Requests(Command::kReset).size(), 1u);
    ASSERT_EQ(Requests(Command::kOffline).size(), 1u);
    EXPECT_LT(std::find(sequence.begin(), sequence.end(), Command::kOffline),
              std::find(sequence.begin(), sequence.end(), Command::kReset))
        << "offline before the reset";
    EXPECT_EQ(Requests(Command::kOffline).at(0).bytes, Bytes({0x29, 0x01, 0x00}));
    EXPECT_EQ(Requests(Command::kReset).at(0).bytes, Bytes({0x29, 0x02, 0x00}));
    CloseCommPort();
    EXPECT_TRUE(card().WaitForPresence(true, std::chrono::seconds(5)));

    StartCard(ProfileWith([](cardsim::CardProfile& p) { p.mode = 2; }));
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_EQ(ResetDsahboard(), 1);
    EXPECT_TRUE(Requests(Command::kOffline).empty());
}

TEST_F(CardExportsTest, StatusOfTheWrongLengthCountsAsNoStatus) {
    StartCard(ProfileWith([](cardsim::CardProfile& p) { p.mode = 2; }));
    ASSERT_NO_FATAL_FAILURE(Open());
    card().SetFault(Command::kStatus, Fault::Make(Fault::Kind::kLength, 40));
    ASSERT_EQ(ResetDsahboard(), 1);
    EXPECT_EQ(Requests(Command::kOffline).size(), 1u);
}

TEST_F(CardExportsTest, ResetSucceedsOnItsThirdAttempt) {
    ASSERT_NO_FATAL_FAILURE(Open());
    card().SetFault(Command::kReset, Fault::Make(Fault::Kind::kNoReply, 0, 2));
    ASSERT_EQ(ResetDsahboard(), 1);
    EXPECT_EQ(Requests(Command::kReset).size(), 3u);
}

TEST_F(CardExportsTest, EveryCardExportFailsWithoutAConnection) {
    std::array<char, 128> text{};
    int32_t status = -1;
    int32_t value = 0;
    EXPECT_EQ(GetIMEI(reinterpret_cast<uint8_t*>(text.data()), 15, &status), 0);
    EXPECT_EQ(status, 0);
    status = -1;
    EXPECT_EQ(GetFirmwareVersion(text.data(), 128, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(GetDashboardVersion(text.data(), 128, &status), 0);
    EXPECT_EQ(IsNewVersion(&status), 0);
    EXPECT_EQ(BackupNVItems(nullptr), 0);
    EXPECT_EQ(SetPnPState(1, 1, nullptr), 0);
    EXPECT_EQ(GetPnPState(&value, &value, nullptr), 0);
    EXPECT_EQ(ResetDsahboard(), 0);
    EXPECT_EQ(GetBoardType(text.data()), 1) << "the modem step needs no connection";
}

}  // namespace
