#include <gtest/gtest.h>

#include "carvex/link/diag_link.h"
#include "carvex/link/resolve_request.h"
#include "carvex/platform/clock.h"
#include "tests/support/card_fixture.h"

namespace carvex {
namespace {

using namespace std::chrono_literals;
using cardsim::CardProfile;

class ResolveRequestTest : public ::testing::Test {
  protected:
    static constexpr int kScale = 20;

    void Start(CardProfile::Probe probe) {
        auto profile = testsupport::ExampleProfile();
        profile.probe = probe;
        profile.version_header = DiagRequestHeader::Subsystem(0x4B, 0xC9, 0xFF11);
        profile.qcdmg_ok = false;  // the link stays open across the switch: no text before DIAG
        sim_ = std::make_unique<testsupport::CardUnderTest>(profile, kScale);
        link_ = std::make_unique<DiagLink>(sim_->card->Root());
        ASSERT_TRUE(link_->Open(sim_->card->PcUiPort(), 115200));
        const std::string diag_switch = "AT$QCDMG\r~";
        ASSERT_TRUE(link_->Send(
            true, {reinterpret_cast<const uint8_t*>(diag_switch.data()), diag_switch.size()}));
        ASSERT_TRUE(sim_->card->WaitForRequests(1, 5s));
    }

    DiagRequestHeader Resolve(uint32_t id, int32_t expected_status, bool expected_result) {
        DiagRequestHeader header{};
        int32_t status = -1;
        EXPECT_EQ(ResolveRequest(*link_, id, &header, &status), expected_result) << id;
        EXPECT_EQ(status, expected_status) << id;
        return header;
    }

    ScopedClock clock_{std::make_shared<ScaledClock>(kScale)};
    std::unique_ptr<testsupport::CardUnderTest> sim_;
    std::unique_ptr<DiagLink> link_;
};

TEST_F(ResolveRequestTest, CardWithoutTheProbeResolvesThroughTableA) {
    Start(CardProfile::Probe::kUnknown);
    const auto header = Resolve(151, kResolveFromTableA, true);
    EXPECT_EQ(header, DiagRequestHeader::Subsystem(0x4B, 0xC9, 0xFF03));
    Resolve(90014, kResolveNotInTableA, false);

    // The probe itself: NV read command, signature at payload offset 2, the id at 6.
    const auto requests = sim_->card->Requests();
    ASSERT_GE(requests.size(), 2u);
    const auto& probe = requests[1].bytes;
    ASSERT_EQ(probe.size(), 133u);
    EXPECT_EQ(std::vector<uint8_t>(probe.begin(), probe.begin() + 9),
              (std::vector<uint8_t>{0x26, 0, 0, 0x25, 0xA7, 0x00, 0x06, 151, 0}));

    // The resolved version request goes out as 4B C9 03 FF and is answered.
    sim_->card->ClearRequests();
    ASSERT_TRUE(link_->SendRequest(header, {}));
    std::vector<uint8_t> versions(62);
    int32_t received = 0;
    ASSERT_TRUE(link_->WaitResponse(header, versions, &received, 4000ms));
    EXPECT_EQ(received, 62);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(versions.data())), "31.742.06.19.208");
    EXPECT_EQ(sim_->card->Requests().at(0).bytes, (std::vector<uint8_t>{0x4B, 0xC9, 0x03, 0xFF}));
}

TEST_F(ResolveRequestTest, SignatureWithFlagZeroUsesTableB) {
    Start(CardProfile::Probe::kTableB);
    EXPECT_EQ(Resolve(90014, kResolveFromCard, true), DiagRequestHeader::Command(0xFB));
    Resolve(151, kResolveNotInTableB, false);
}

TEST_F(ResolveRequestTest, SignatureWithFlagOneTakesTheCardsHeader) {
    Start(CardProfile::Probe::kCardHeader);
    EXPECT_EQ(Resolve(151, kResolveFromCard, true),
              DiagRequestHeader::Subsystem(0x4B, 0xC9, 0xFF11));
}

TEST_F(ResolveRequestTest, NoAnswerGivesStatusOneAndClosedLinkGivesZero) {
    Start(CardProfile::Probe::kUnknown);
    sim_->card->SetFault(cardsim::Command::kProbe,
                         cardsim::Fault::Make(cardsim::Fault::Kind::kNoReply));
    Resolve(151, kResolveNoAnswer, false);
    link_->Close();
    Resolve(151, kResolveNotSent, false);
}

}  // namespace
}  // namespace carvex
