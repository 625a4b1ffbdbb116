// Cards that come and go while cardsim runs, as carvexctl finds them: plugged, pulled out and put
// back through cardsim's control socket, each change seen by the next `carvexctl cards`.
#include <gtest/gtest.h>

#include <signal.h>

#include "tests/support/cardsim_control.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

const std::string kHeader = "PC UI  MODEM  IMEI             MODEL     FIRMWARE";
const std::string kFirst = "COM12  COM13  356789012345672  LW-X4201  31.742.06.19.208";
const std::string kSecond = "COM22  COM23  356789012345680  LW-X4201  31.742.06.19.208";
const std::string kAsked = "COM32  COM33  352099001761481  LW-X4201  31.742.06.19.208";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

class CardsComeAndGo : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_.emplace(CARDSIM,
                     std::vector<std::string>{
                         "--profile", std::string(CARDWRIGHT_EXAMPLES_DIR) + "/card.profile",
                         "--cards", "2", "--root", root_.string(), "--state",
                         (dir_.Path() / "card.nv").string(), "--control", socket_.string()});
        while (const auto line = sim_->ReadLine(30s)) {
            if (line->starts_with("Press Ctrl-C")) {
                control_.emplace(socket_);
                return;
            }
        }
        FAIL() << "cardsim did not start";
    }
    void TearDown() override {
        ::kill(sim_->Pid(), SIGTERM);
        EXPECT_EQ(sim_->Wait(), 0);
    }

    std::vector<std::string> Cards() {
        const auto result =
            testsupport::RunProgram(CARVEXCTL, {"cards"}, {"CARVEX_ROOT=" + root_.string()});
        EXPECT_EQ(result.exit_code, 0) << result.err;
        return Lines(result.out);
    }
    std::string Send(const std::string& command) { return control_->Send(command).value_or(""); }

    testsupport::TempDir dir_;
    std::filesystem::path root_ = dir_.Path() / "root";
    std::filesystem::path socket_ = dir_.Path() / "control";
    std::optional<testsupport::RunningProgram> sim_;
    std::optional<testsupport::CardsimControl> control_;
};

TEST_F(CardsComeAndGo, EveryChangeIsSeenByTheNextListing) {
    EXPECT_EQ(Cards(), (std::vector<std::string>{kHeader, kFirst, kSecond}));

    EXPECT_EQ(Send("plug 352099001761481"),
              "ok: card 3 plugged: PC UI COM32, modem COM33, IMEI 352099001761481");
    EXPECT_EQ(Cards(), (std::vector<std::string>{kHeader, kFirst, kSecond, kAsked}))
        << "the card answers the IMEI it was plugged with";

    EXPECT_EQ(Send("unplug 2"),
              "ok: card 2 unplugged: PC UI COM22, modem COM23, IMEI "
              "356789012345680");
    EXPECT_EQ(Cards(), (std::vector<std::string>{kHeader, kFirst, kAsked}))
        << "the card after the gap it left is found";

    EXPECT_EQ(Send("replug 2"),
              "ok: card 2 plugged: PC UI COM22, modem COM23, IMEI "
              "356789012345680");
    EXPECT_EQ(Cards(), (std::vector<std::string>{kHeader, kFirst, kSecond, kAsked}));
}

}  // namespace
