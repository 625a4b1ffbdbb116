#include <gtest/gtest.h>

#include "cardsim/card_profile.h"
#include "cardsim/diag_responder.h"
#include "cardsim/tool_replies.h"
#include "tests/cardsim/card_test_support.h"
#include "tests/support/card_fixture.h"

namespace cardsim {
namespace {

uint16_t NvStatus(const Packet& reply) {
    return static_cast<uint16_t>(reply.at(131) | (reply.at(132) << 8));
}

class DiagResponderTest : public ::testing::Test {
  protected:
    DiagResponderTest() : state_(ProfileWithAnInactiveItem()) {}

    static CardProfile ProfileWithAnInactiveItem() {
        auto profile = testsupport::ExampleProfile();
        profile.inactive.insert(6907);
        return profile;
    }

    CardState state_;
};

TEST_F(DiagResponderTest, NvReadWriteAndTheirStatuses) {
    auto imei = AnswerDiag(NvRequest(0x26, 550), state_);
    EXPECT_EQ(imei.command, Command::kNvRead);
    EXPECT_EQ(NvStatus(imei.reply), 0);
    EXPECT_EQ(Packet(imei.reply.begin(), imei.reply.begin() + 6),
              (Packet{0x26, 0x26, 0x02, 0x08, 0x3A, 0x65}));

    EXPECT_EQ(NvStatus(AnswerDiag(NvRequest(0x26, 6907), state_).reply), 5) << "inactive";
    EXPECT_EQ(NvStatus(AnswerDiag(NvRequest(0x26, 4321), state_).reply), 5) << "never written";
    EXPECT_EQ(NvStatus(AnswerDiag(NvRequest(0x27, 550, {1}), state_).reply), 7) << "read-only";
    EXPECT_EQ(NvStatus(AnswerDiag(NvRequest(0x27, 6907, {1}), state_).reply), 5);

    const auto written = AnswerDiag(NvRequest(0x27, 10, {0x02, 0x7E}), state_);
    EXPECT_EQ(written.command, Command::kNvWrite);
    EXPECT_EQ(NvStatus(written.reply), 0);
    const auto read_back = AnswerDiag(NvRequest(0x26, 10), state_);
    EXPECT_EQ(read_back.reply[3], 0x02);
    EXPECT_EQ(read_back.reply[4], 0x7E);

    Overrides busy;
    busy.nv_status = 1;
    EXPECT_EQ(NvStatus(AnswerDiag(NvRequest(0x26, 550), state_, busy).reply), 1);
}

TEST_F(DiagResponderTest, ToolRepliesDeriveFromTheIdentityWhereTheProfileGivesNothing) {
    CardProfile bare = state_.profile;
    bare.tool_replies = {};
    // The example profile states what its identity gives.
    EXPECT_EQ(EsnReply(bare), EsnReply(state_.profile));
    EXPECT_EQ(EsnReply(bare), (Packet{0x01, 0x47, 0x94, 0x03, 0x80}));
    const auto version = VersionInfoReply(bare);
    EXPECT_EQ(std::string(version.begin() + 39, version.begin() + 47), "LW-X4201");
    const auto build = BuildIdReply(bare);
    EXPECT_EQ(std::string(build.begin() + 12, build.end()),
              std::string("31.742.06.19.208\0LW-X4201\0", 26));
    const auto status = StatusReply(bare, 2);
    EXPECT_EQ(Packet(status.begin() + 4, status.begin() + 10),
              (Packet{0x47, 0x94, 0x03, 0x80, 0x01, 0x00}));
    EXPECT_EQ(status[32], 2);

    bare.nv.erase(550);
    EXPECT_EQ(EsnReply(bare), (Packet{0x01, 0, 0, 0, 0})) << "no IMEI, no ESN";
    bare.model = "A-MUCH-LONGER-MODEL";
    const auto cut = VersionInfoReply(bare);
    EXPECT_EQ(std::string(cut.begin() + 39, cut.begin() + 48), std::string("A-MUCH-L\0", 9))
        << "cut to its field";
}

TEST_F(DiagResponderTest, RequestIdProbeInItsThreeBehaviours) {
    const Packet probe = NvRequest(0x26, 0, {0x25, 0xA7, 0x00, 0x06, 151, 0});
    EXPECT_EQ(ClassifyDiag(probe, state_.profile), Command::kProbe);

    state_.profile.probe = CardProfile::Probe::kUnknown;
    auto reply = AnswerDiag(probe, state_).reply;
    EXPECT_EQ(reply[3], 0) << "no signature";
    EXPECT_EQ(NvStatus(reply), 5);

    state_.profile.probe = CardProfile::Probe::kTableB;
    reply = AnswerDiag(probe, state_).reply;
    EXPECT_EQ(Packet(reply.begin() + 3, reply.begin() + 10),
              (Packet{0x25, 0xA7, 0x00, 0x06, 151, 0, 0}));

    state_.profile.probe = CardProfile::Probe::kCardHeader;
    state_.profile.version_header = carvex::DiagRequestHeader::Subsystem(0x4B, 0xC9, 0xFF11);
    reply = AnswerDiag(probe, state_).reply;
    EXPECT_EQ(Packet(reply.begin() + 9, reply.begin() + 14), (Packet{1, 0x4B, 0xC9, 0x11, 0xFF}));
}

// A read-back answered with other bytes: one byte inverted, the item itself untouched. Only the
// read-back of an item the card was asked to write is, never the reads made before the write.
TEST_F(DiagResponderTest, OtherBytesAnswerOnlyTheReadBack) {
    Overrides other;
    other.other_byte = 1;
    const Packet before = AnswerDiag(NvRequest(0x26, 441), state_, other).reply;
    EXPECT_EQ(Packet(before.begin() + 3, before.begin() + 7), (Packet{0x80, 0x03, 0xE8, 0x07}));
    EXPECT_FALSE(IsReadBack(NvRequest(0x26, 441), state_));

    AnswerDiag(NvRequest(0x27, 441, {0x80, 0x03, 0xE8, 0x07}), state_);
    EXPECT_TRUE(IsReadBack(NvRequest(0x26, 441), state_));
    EXPECT_FALSE(IsReadBack(NvRequest(0x27, 441), state_)) << "a write is no read-back";
    const Packet after = AnswerDiag(NvRequest(0x26, 441), state_, other).reply;
    EXPECT_EQ(Packet(after.begin() + 3, after.begin() + 7), (Packet{0x80, 0xFC, 0xE8, 0x07}));
    EXPECT_EQ(NvStatus(after), 0);
    EXPECT_EQ(AnswerDiag(NvRequest(0x26, 441), state_).reply[4], 0x03) << "the item untouched";
    const Packet unwritten = AnswerDiag(NvRequest(0x26, 550), state_, other).reply;
    EXPECT_EQ(unwritten.at(4), 0x3A) << "another item's read stays true";
    const auto port = AnswerDiag(Packet{0x4B, 0x0F, 0x1A, 0xFF, 0, 0, 0, 0}, state_, other).reply;
    EXPECT_EQ(port[6], 0x1F ^ 0xFF) << "the port bit mask";
}

TEST_F(DiagResponderTest, IdentityAndControlExchanges) {
    struct Case {
        Packet request;
        Command command;
        size_t reply_size;
        std::vector<std::pair<size_t, uint8_t>> bytes;  // reply offset, value
    } cases[] = {
        {{0x4B, 0xC9, 0x03, 0xFF}, Command::kVersions, 66, {{4, '3'}, {35, 'L'}}},
        {Packet{0x4B, 0xC9, 0x24, 0xFF}, Command::kDashboard, 260, {{4, 0}, {5, 'L'}}},
        {{0x4B, 0xC9, 0x62, 0xFF, 0, 0, 0}, Command::kNewVersion, 7, {{4, 0x00}}},
        {{0xFC}, Command::kBoardType, 32, {{1, 'M'}}},
        {{0xFA, 0x13, 0, 0}, Command::kBackup, 4, {{0, 0xFA}, {1, 0}}},
        {{0x4B, 0x0F, 0x1A, 0xFF, 0, 0, 0, 0}, Command::kPortGet, 8, {{4, 0}, {5, 1}, {6, 0x1F}}},
        {{0x0C}, Command::kStatus, 48, {{32, 0}, {33, 0}}},
        {{0x29, 0x01, 0x00}, Command::kOffline, 3, {{1, 1}}},
        {{0x0C}, Command::kStatus, 48, {{32, 2}}},
        {{0x4B, 0x0F, 0x19, 0xFF, 0x07, 0x03, 0, 0}, Command::kPortSet, 8, {{4, 0}}},
        {{0x4B, 0x0F, 0x1A, 0xFF, 0, 0, 0, 0}, Command::kPortGet, 8, {{5, 7}, {6, 3}}},
        {{0x29, 0x02, 0x00}, Command::kReset, 3, {{1, 2}}},
        {{0x7F, 1}, Command::kOther, 3, {{0, 0x13}, {1, 0x7F}}},
        {{0x4B, 0x0F, 0x19, 0xFF, 0x07}, Command::kPortSet, 6, {{0, 0x15}, {5, 0x07}}},
        {{0x4B, 0x0F}, Command::kOther, 3, {{0, 0x15}}},
        {Packet(132, 0x26), Command::kNvRead, 17, {{0, 0x15}, {16, 0x26}}},  // 16 bytes echoed
    };
    for (const auto& c : cases) {
        const auto answer = AnswerDiag(c.request, state_);
        EXPECT_EQ(answer.command, c.command) << CommandName(c.command);
        ASSERT_EQ(answer.reply.size(), c.reply_size) << CommandName(c.command);
        for (const auto& [at, value] : c.bytes) {
            EXPECT_EQ(answer.reply[at], value) << CommandName(c.command) << " at " << at;
        }
    }
    EXPECT_EQ(AnswerDiag(Packet{0xFA, 0x13, 0, 0}, state_).action, DiagAnswer::Action::kSaveNv);
    EXPECT_EQ(AnswerDiag(Packet{0x29, 0x02, 0}, state_).action, DiagAnswer::Action::kReset);
    Overrides refused;
    refused.result = 1;
    const auto failed_backup = AnswerDiag(Packet{0xFA, 0x13, 0, 0}, state_, refused);
    EXPECT_EQ(failed_backup.reply[1], 1);
    EXPECT_EQ(failed_backup.action, DiagAnswer::Action::kNone);
}

TEST(CardProfile, ParsesValuesAndNamesTheBadLine) {
    const auto profile = ParseProfile(
        "[card]\nfirmware = FW 1\nport_mask = 0x1F\nrequest_id_probe = table_b\n"
        "qcdmg_reply = none\n[diag]\nesn = 0x80000001\nversion_dir = DIR\nmsm_minor = 0x10\n"
        "[nv]\n10 = 04 7e\n20 = \"abc\"\n[inactive]\nitems = 5, 6\n[faults]\nnv_read = nv_status 1 "
        "x3\n");
    EXPECT_EQ(profile.firmware, "FW 1");
    EXPECT_FALSE(profile.qcdmg_ok);
    EXPECT_EQ(profile.tool_replies.esn, 0x80000001u);
    EXPECT_EQ(profile.tool_replies.version_dir, "DIR");
    EXPECT_EQ(profile.tool_replies.msm_minor, 0x10);
    EXPECT_EQ(profile.port_mask, 0x1F);
    EXPECT_EQ(profile.probe, CardProfile::Probe::kTableB);
    EXPECT_EQ(profile.nv.at(10)[1], 0x7E);
    EXPECT_EQ(profile.nv.at(20)[2], 'c');
    EXPECT_EQ(profile.inactive, (std::set<uint16_t>{5, 6}));
    ASSERT_EQ(profile.faults.size(), 1u);
    EXPECT_EQ(profile.faults[0].second.kind, Fault::Kind::kNvStatus);
    EXPECT_EQ(profile.faults[0].second.value, 1);
    EXPECT_EQ(profile.faults[0].second.times, 3);

    try {
        ParseProfile("[card]\nfirmware = x\n\nbogus = 1\n");
        FAIL() << "an unknown key must be refused";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("line 4"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ParseProfile("[nv]\n10 = 4G\n"), std::runtime_error);
    EXPECT_THROW(ParseProfile("[card]\nqcdmg_reply = maybe\n"), std::runtime_error);
    EXPECT_THROW(ParseProfile("[diag]\nslot_cycle_index = 256\n"), std::runtime_error);
    EXPECT_THROW(ParseProfile("[diag]\nmodel = X\n"), std::runtime_error);
    EXPECT_EQ(FormatNvValue(ParseNvValue("01 00 7E")), "01 00 7E");
}

TEST(CardProfile, FaultTexts) {
    EXPECT_EQ(ParseFault("late_reply 3000")->value, 3000);
    EXPECT_EQ(ParseFault("error_reply +CME ERROR: SIM busy")->text, "+CME ERROR: SIM busy");
    EXPECT_EQ(ParseFault("split x2")->times, 2);
    EXPECT_FALSE(ParseFault("nv_status"));
    EXPECT_FALSE(ParseFault("melt"));
    EXPECT_EQ(ParseFault("other_bytes")->value, 0);
    EXPECT_EQ(ParseFault("other_bytes 5 x1")->value, 5);
    EXPECT_FALSE(ParseFault("other_bytes five"));
    EXPECT_EQ(ParseFault("never_back")->kind, Fault::Kind::kNeverBack);
}

}  // namespace
}  // namespace cardsim
