#include <QtTest>
#include <map>

#include "app/model/setting_crc.h"
#include "tests/app/window_fixture.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"

using namespace cardwright;
using testsupport::WindowUnderTest;

namespace {

// What a card holds that a Write can change: every NV item the test card knows of, the LED
// items, and the port setting.
struct CardState {
    std::map<uint16_t, std::optional<cardsim::NvValue>> nv;
    std::pair<uint8_t, uint8_t> port_setting;
    friend bool operator==(const CardState&, const CardState&) = default;
};

CardState StateOf(const cardsim::SimulatedCard& card) {
    const auto profile = testsupport::TestProfile();
    CardState state{{}, card.PortSetting()};
    for (const auto& [item, value] : profile.nv) {
        state.nv[item] = card.Nv(item);
    }
    for (const uint16_t item : profile.inactive) {
        state.nv[item] = card.Nv(item);
    }
    return state;
}

}  // namespace

// A setting file written by the window (Import, then Write, after its start-up read) and by
// carvexctl write leaves two cards of the same kind holding the same bytes.
class WritePathsTest : public QObject {
    Q_OBJECT

  private slots:
    void theWindowAndCarvexctlLeaveTheSameCard() {
        const testsupport::TempDir folder;
        const std::string values =
            "B_LOW=9\r\nB_FLAG=0\r\nB_HIGH=300\r\nBAND=3|48|9\r\nMODE=2\r\nACQ_ORDER=1\r\n"
            "BIT_B=1\r\nLIMIT=5\r\nDEVICE_STATE_INFO=1026\r\nLED_STATUS1=4,3|1,3|\r\n"
            "LED_STATUS6=8,20|\r\n";
        const auto file = folder.Path() / "batch.ini";
        testsupport::Put(file, "[DATACARD_TYPE]\r\nVALUE=LW-X4201\r\n[DEFAULT]\r\n" + values +
                                   "[CRC]\r\nVALUE=" + std::to_string(SettingCrc(values)) + "\r\n");

        CardState by_window;
        {
            WindowUnderTest t;
            t.prompts().open_file = QString::fromStdString(file.string());
            t.w().ImportBtnClick();
            t.w().WriteToDataCardBtnClick();
            QCOMPARE(t.prompts().messages.last(), QStringLiteral("Write to datacard succeed..."));
            QCOMPARE(t.Requests(cardsim::Command::kReset), size_t{1});
            by_window = StateOf(t.card());
        }

        const testsupport::CardUnderTest other(testsupport::TestProfile());
        const CardState before = StateOf(*other.card);
        const auto run =
            testsupport::RunProgram(CARVEXCTL,
                                    {"write", file.string(), "--description",
                                     (testsupport::kTestData / "Config_Info.ini").string()},
                                    {"CARVEX_ROOT=" + other.card->Root().Path().string()});
        QVERIFY2(run.exit_code == 0, run.err.c_str());
        QCOMPARE(other.card->Resets(), 1);
        const CardState by_carvexctl = StateOf(*other.card);

        QVERIFY2(by_window.nv.at(60000).value()[0] == 9, "the file's values were written");
        QVERIFY(by_window.nv.at(50013).value()[20] == 7);  // status 6: white, code 8
        QVERIFY(by_window.port_setting == (std::pair<uint8_t, uint8_t>{2, 4}));
        QVERIFY(!(by_window == before));
        for (const auto& [item, value] : by_window.nv) {
            QVERIFY2(value == by_carvexctl.nv.at(item), std::to_string(item).c_str());
        }
        QVERIFY(by_window.port_setting == by_carvexctl.port_setting);
    }
};

QTEST_MAIN(WritePathsTest)
#include "write_paths_test.moc"
