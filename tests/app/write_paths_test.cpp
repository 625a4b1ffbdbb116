#include <QtTest>
#include <map>

#include "cardsim/card_bench.h"
#include "cardwork/model/setting_crc.h"
#include "tests/app/window_fixture.h"
#include "tests/support/card_state.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"

using namespace cardwright;
using testsupport::CardState;
using testsupport::StateOf;
using testsupport::WindowUnderTest;

// A setting file written by the window (Import, then Write, after its start-up read), by carvexctl
// write and by carvexctl apply on several cards at once leaves cards of the same kind holding the
// same bytes.
class WritePathsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        const std::string values =
            "B_LOW=9\r\nB_FLAG=0\r\nB_HIGH=300\r\nBAND=3|48|9\r\nMODE=2\r\nACQ_ORDER=1\r\n"
            "BIT_B=1\r\nLIMIT=5\r\nDEVICE_STATE_INFO=1026\r\nLED_STATUS1=4,3|1,3|\r\n"
            "LED_STATUS6=8,20|\r\n";
        testsupport::Put(file_, "[DATACARD_TYPE]\r\nVALUE=LW-X4201\r\n[DEFAULT]\r\n" + values +
                                    "[CRC]\r\nVALUE=" + std::to_string(SettingCrc(values)) +
                                    "\r\n");

        WindowUnderTest t;
        before_ = StateOf(t.card());
        t.answers.open_file = QString::fromStdString(file_.string());
        t.Click("ImportBtn");
        t.Click("WriteToDataCardBtn");
        QCOMPARE(t.answers.messages.last(), QStringLiteral("Write to datacard succeed..."));
        QCOMPARE(t.Requests(cardsim::Command::kReset), size_t{1});
        by_window_ = StateOf(t.card());

        QVERIFY2(by_window_.nv.at(60000).value()[0] == 9, "the file's values were written");
        QVERIFY(by_window_.nv.at(50013).value()[20] == 7);  // status 6: white, code 8
        QVERIFY(by_window_.port_setting == (std::pair<uint8_t, uint8_t>{2, 4}));
        QVERIFY(!(by_window_ == before_));
    }

    void theWindowAndCarvexctlWriteLeaveTheSameCard() {
        const testsupport::CardUnderTest other(testsupport::TestProfile());
        QVERIFY(StateOf(*other.card) == before_);
        const auto run = testsupport::RunProgram(
            CARVEXCTL, {"write", file_.string(), "--description", Description()},
            {"CARVEX_ROOT=" + other.card->Root().Path().string()});
        QVERIFY2(run.exit_code == 0, run.err.c_str());
        QCOMPARE(other.card->Resets(), 1);
        CompareWithWindow(StateOf(*other.card));
    }

    // Four cards plugged in together, all written by one apply, each as the window writes one.
    void theWindowAndCarvexctlApplyLeaveTheSameCards() {
        cardsim::CardBench::Options options;
        options.profile = testsupport::TestProfile();
        options.cards = 4;
        options.state_file = folder_.Path() / "bench" / "card.nv";
        cardsim::CardBench bench(std::move(options));
        const auto run = testsupport::RunProgram(
            CARVEXCTL, {"apply", file_.string(), "--description", Description()},
            {"CARVEX_ROOT=" + bench.Root().Path().string(),
             "XDG_STATE_HOME=" + (folder_.Path() / "state").string()});
        QVERIFY2(run.exit_code == 0, (run.out + run.err).c_str());
        QVERIFY2(run.out.find("\n4 of 4 cards ok\n") != std::string::npos, run.out.c_str());
        for (int number = 1; number <= 4; ++number) {
            QCOMPARE(bench.Card(number).Resets(), 1);
            CardState state = StateOf(bench.Card(number));
            state.nv[550] = by_window_.nv.at(550);  // the IMEI tells the cards apart
            CompareWithWindow(state);
        }
    }

  private:
    static std::string Description() {
        return (testsupport::kTestData / "Config_Info.ini").string();
    }

    void CompareWithWindow(const CardState& state) {
        for (const auto& [item, value] : by_window_.nv) {
            QVERIFY2(value == state.nv.at(item), std::to_string(item).c_str());
        }
        QVERIFY(by_window_.port_setting == state.port_setting);
    }

    const testsupport::TempDir folder_;
    const std::filesystem::path file_ = folder_.Path() / "batch.ini";
    CardState before_;
    CardState by_window_;
};

QTEST_MAIN(WritePathsTest)
#include "write_paths_test.moc"
