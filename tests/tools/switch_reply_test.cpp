#include <gtest/gtest.h>

#include "tests/support/card_fixture.h"
#include "tests/support/run_program.h"

namespace {

// carvexctl against a card that says "OK" to the DIAG switch and one that says nothing: the
// library copes with both.
TEST(SwitchReply, InfoReadsTheCardEitherWay) {
    for (const bool ok : {true, false}) {
        auto profile = testsupport::ExampleProfile();
        profile.qcdmg_ok = ok;
        testsupport::CardUnderTest card(profile);
        const auto r = testsupport::RunProgram(
            CARVEXCTL, {"info"}, {"CARVEX_ROOT=" + card.card->Root().Path().string()});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        for (const char* line :
             {"IMEI:              356789012345672\n", "Firmware version:  31.742.06.19.208\n",
              "Port setting:      state 1, port mask 0x1F\n"}) {
            EXPECT_NE(r.out.find(line), std::string::npos) << (ok ? "OK: " : "nothing: ") << r.out;
        }
        EXPECT_EQ(card.card->Requests().at(0).command, cardsim::Command::kDiagSwitch);
    }
}

}  // namespace
