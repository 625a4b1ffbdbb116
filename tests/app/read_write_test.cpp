#include <QImage>
#include <QLabel>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <atomic>
#include <fstream>
#include <thread>

#include "cardwork/model/nv_compose.h"
#include "app/script_runner.h"
#include "tests/app/window_fixture.h"

using namespace cardwright;
using cardsim::Command;
using cardsim::Fault;
using testsupport::Nv;
using testsupport::Show;
using testsupport::Shown;
using testsupport::Ticked;
using testsupport::WindowSetup;
using testsupport::WindowUnderTest;

// Every open and close of the card the window makes (this program links with --wrap; the
// window calls the library from its worker thread, the test's own calls are not counted).
namespace {
const std::thread::id kTestThread = std::this_thread::get_id();
std::atomic<int> g_opens{0};
std::atomic<int> g_closes{0};
}  // namespace
// NOLINTBEGIN(bugprone-reserved-identifier): the names the linker's --wrap gives
extern "C" int32_t __real_InitCommPort();
extern "C" int32_t __real_CloseCommPort();
extern "C" int32_t __wrap_InitCommPort() {
    g_opens += std::this_thread::get_id() != kTestThread;
    return __real_InitCommPort();
}
extern "C" int32_t __wrap_CloseCommPort() {
    g_closes += std::this_thread::get_id() != kTestThread;
    return __real_CloseCommPort();
}
// NOLINTEND(bugprone-reserved-identifier)

namespace {

QString Row(TMainFrm& w, int row) {
    return w.CommonInfoLst->item(row, 1)->text();
}

bool TabShown(TMainFrm& w, int slot) {
    return w.PageControl1->isTabVisible(w.PageControl1->indexOf(w.PageSlots[slot]));
}

// Replaces the first occurrence of a text in one of the folder's files.
void Edit(const std::filesystem::path& file, const std::string& from, const std::string& to) {
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = text.find(from);
    QVERIFY(at != std::string::npos);
    text.replace(at, from.size(), to);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

// Every NV item of the test description inactive on the card.
cardsim::CardProfile NothingActive() {
    auto profile = testsupport::TestProfile();
    for (uint16_t item : {550, 60000, 60010, 60011, 60012, 60020, 60021, 60030, 60031, 60040, 60041,
                          60042, 60050, 60060, 60070}) {
        profile.nv.erase(item);
        profile.inactive.insert(item);
    }
    return profile;
}

}  // namespace

class ReadWriteTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { g_opens = g_closes = 0; }

    void startUpWithoutACard() {
        WindowUnderTest t(WindowSetup{std::nullopt, {}});
        TMainFrm& w = t.w();
        QCOMPARE(t.Log(),
                 (QStringList{"Init port failed", "Failed to read data from datacard..."}));
        for (int slot = 0; slot < 3; ++slot) {
            QVERIFY(!TabShown(w, slot));
        }
        for (int row = 0; row < 5; ++row) {
            QCOMPARE(Row(w, row), QStringLiteral("--"));
        }
        QVERIFY2(w.NewVersion, "a card that cannot be opened counts as the newer generation");
        QCOMPARE(w.StatusBar1->currentMessage(), QStringLiteral("Read failed: no card found"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Cardwright"));
        QCOMPARE(g_closes, g_opens);  // a failed open is closed all the same
        QVERIFY(!w.Timer1->isActive());
    }

    void startUpReadFillsEverything() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const QStringList log = t.Log();
        QCOMPARE(log.first(), QStringLiteral("Init port succeed..."));
        QCOMPARE(log.mid(log.size() - 2),
                 (QStringList{"Port closed", "Read from datacard succeed..."}));
        QVERIFY(log.contains(QStringLiteral("Read LED info from datacard...")));
        QVERIFY(log.contains(QStringLiteral("Band:  read succeed.")));
        QVERIFY(log.contains(QStringLiteral("Inactive:  Read failed, reason\uFF1A5")));
        QCOMPARE(Row(w, 0), QStringLiteral("356789012345678"));
        QCOMPARE(Row(w, 1), QStringLiteral("31.742.06.19.208"));
        QCOMPARE(Row(w, 3), QStringLiteral("LWX4201-MBR3-QK7A Ver.C"));
        QCOMPARE(Row(w, 4), QStringLiteral("LW-X4201"));
        QCOMPARE(w.CardType, std::string("LW-X4201"));
        QCOMPARE(Shown(w, "BAND"), QStringLiteral("America"));
        QVERIFY(!w.FindItem("INACTIVE")->OnCard);
        QCOMPARE(w.LedInfo.From(), LedTable::Source::kCard);
        QCOMPARE(g_closes, g_opens);
        // What the read came to stays, and what is shown says where it came from.
        QCOMPARE(w.StatusBar1->currentMessage(),
                 QStringLiteral("Read: done, 20 items, 1 not read"));
        QCOMPARE(w.SourcePanel->text(),
                 QStringLiteral("Card LW-X4201 on COM12, IMEI 356789012345678"));
        QCOMPARE(w.windowTitle(),
                 QStringLiteral("Cardwright - Card LW-X4201 on COM12, IMEI 356789012345678"));
    }

    void cardOnWhichNothingIsActive() {
        WindowUnderTest t(WindowSetup{NothingActive(), {}});
        TMainFrm& w = t.w();
        const QStringList log = t.Log();
        QVERIFY(log.filter(QStringLiteral("read succeed.")).isEmpty());
        QVERIFY(log.contains(QStringLiteral("Get IMEI failed, reason: 5...")));
        QCOMPARE(Row(w, 0), QStringLiteral("--"));
        QCOMPARE(log.mid(log.size() - 2),
                 (QStringList{"Port closed", "Read from datacard succeed..."}));
        // A multi-value item's default, a field list, reads as value 0, which it does not offer.
        QCOMPARE(Shown(w, "BAND"), QString());
        for (const char* name : {"B_LOW", "BIT_A", "MODE"}) {
            QCOMPARE(Shown(w, name), QString::fromStdString(w.FindItem(name)->DefaultValue));
            QVERIFY2(!Ticked(w, name), name);
            QVERIFY2(!w.FindItem(name)->OnCard, name);
        }
    }

    void newerGenerationCard() {
        auto profile = testsupport::TestProfile();
        profile.new_version_mark = 0x68;
        WindowUnderTest t(WindowSetup{profile, {}});
        TMainFrm& w = t.w();
        QVERIFY(t.Log().contains(QStringLiteral("Read version succeed...")));
        QVERIFY(!TabShown(w, 0));
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("7"));  // NEW_VERSION 1: read
        QCOMPARE(Shown(w, "B_FLAG"), QString());           // NEW_VERSION 0: not read
        QVERIFY(t.Log().filter(QStringLiteral("Flag byte")).isEmpty());
    }

    void withoutADeviceStateItemThePortSettingIsNotRead() {
        WindowUnderTest t(WindowSetup{testsupport::TestProfile(), [](const auto& folder) {
                                          Edit(folder / "Config_Info.ini", "DEVICE_STATE_INFO=1\n",
                                               "");
                                      }});
        QCOMPARE(t.Requests(Command::kPortGet), size_t{0});
        QVERIFY(t.Log().contains(QStringLiteral("Read from datacard succeed...")));
    }

    void readTwiceGivesNewRecords() {
        auto profile = testsupport::TestProfile();
        WindowUnderTest t;
        TMainFrm& w = t.w();
        QVERIFY(!w.FindItem("INACTIVE")->OnCard);
        profile.inactive.clear();
        profile.nv[60060] = cardsim::NvValue{1};
        t.StartCard(profile);
        w.ReadFromDataCardBtnClick();
        QVERIFY(w.FindItem("INACTIVE")->OnCard);
        QCOMPARE(Shown(w, "INACTIVE"), QStringLiteral("On"));
        QCOMPARE(g_closes, g_opens);
    }

    void readWithAStoredSolutionLeavesTheCardAlone() {
        WindowUnderTest t(WindowSetup{testsupport::TestProfile(), [](const auto& folder) {
                                          Edit(folder / "config_value.ini", "current=DEFAULT",
                                               "current=Bench");
                                      }});
        TMainFrm& w = t.w();
        QCOMPARE(g_opens, 0);
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("9"));
        QCOMPARE(Shown(w, "BAND"), QStringLiteral("America"));  // 2|32|8
        QCOMPARE(Shown(w, "DEVICE_STATE_INFO"), QStringLiteral("Debug"));
        QCOMPARE(w.LedInfo.Step(1, 1).colour, 2);
        t.card().ClearRequests();
        w.ReadFromDataCardBtnClick();
        QCOMPARE(g_opens, 0);
        QVERIFY(t.card().Requests().empty());
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("9"));
        QVERIFY(w.CardType.empty());
    }

    // Read, change items of every kind, write: the card holds exactly the bytes those values
    // stand for, and the unchanged ones as they were.
    void writeAfterARead() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        t.card().ClearRequests();
        for (const auto& [name, text] : {std::pair{"MODE", "Fast"},
                                         {"B_HIGH", "100"},
                                         {"TIMER", "600"},
                                         {"BIT_B", "On"},
                                         {"BAND", "Asia"},
                                         {"LIMIT", "Small"}}) {
            w.LabelBox(name)->setChecked(true);
            Show(w, name, text);
        }
        w.WriteToDataCardBtnClick();
        const QStringList log = t.Log();
        QCOMPARE(t.prompts().messages, QStringList{"Write to datacard succeed..."});
        for (const char* line :
             {"Data valid check OK...", "Init Card Type succeed...", "Init port OK...",
              "Write Config item succeed...", "Write LED info succed...", "Start BackupNVItems...",
              "BackupNVItems succed...", "Restarting datacard...", "Close port...",
              "Write to datacard succeed..."}) {
            QVERIFY2(log.contains(QString::fromLatin1(line)), line);
        }
        QCOMPARE(t.Requests(Command::kPortSet), size_t{1});  // the device state once per command
        QCOMPARE(t.Requests(Command::kBackup), size_t{1});
        QCOMPARE(t.Requests(Command::kReset), size_t{1});
        QCOMPARE(g_closes, g_opens);
        const auto writes = t.NvWrites();
        QVERIFY2(std::find(writes.begin(), writes.end(), 60060) == writes.end(),
                 "an unchanged item the card lacks is not written");

        const struct {
            uint16_t item;
            std::vector<uint8_t> bytes;
        } expected[] = {
            {60000, {0x07, 0x01, 0x64, 0x00}},  // Low byte 7, Flag Yes, High word 100
            {60010, {0x03}},                    // Band Asia: 3, 48 (Band extra On at 2), 9 at 1
            {60011, {0x30, 0x00, 0x01}},
            {60012, {0x00, 0x09}},
            {60030, {0x05, 0x00, 0x00, 0x00}},  // Limit Small
            {60031, {0x58, 0x02, 0x00, 0x00}},  // Timer 600
            {60040, {0x01}},                    // Mode Fast
            {60041, {0x02}},
            {60042, {0x01}},
            {60050, {0x0B}},  // bits 0 and 3 as read, bit 1 now set
            {60070, {0x01}},
        };
        for (const auto& nv : expected) {
            QVERIFY2(std::find(writes.begin(), writes.end(), nv.item) != writes.end(),
                     std::to_string(nv.item).c_str());
            const auto data = t.card().Nv(nv.item);
            QVERIFY(data.has_value());
            std::vector<uint8_t> whole(nv.bytes);
            whole.resize(data->size(), 0);  // the rest of the 128 bytes zero
            QCOMPARE(std::vector<uint8_t>(data->begin(), data->end()), whole);
        }
        // Items whose TYPE moves no bytes are left as the card has them.
        for (const uint16_t untouched : {60020, 60021}) {
            QVERIFY(std::find(writes.begin(), writes.end(), untouched) == writes.end());
        }
        QCOMPARE(Nv(t, 60020, 5), (std::vector<uint8_t>{'t', 'e', 'x', 't', 0}));
        QCOMPARE(t.card().PortSetting(), (std::pair<uint8_t, uint8_t>{1, 0x14}));
    }

    void writeWithoutAReadOrACard() {
        WindowUnderTest t(WindowSetup{std::nullopt, {}});
        TMainFrm& w = t.w();
        w.WriteToDataCardBtnClick();
        QCOMPARE(t.prompts().messages, QStringList{"Write to datacard failed..."});
        QVERIFY(t.Log().contains(QStringLiteral("Failed to write info...")));
        QVERIFY2(t.Log().filter(QStringLiteral("datacard is different")).isEmpty(),
                 "two empty card types are equal");
        QCOMPARE(g_closes, g_opens);  // every open that failed is closed
    }

    void writeToAnotherCardType() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        auto other = testsupport::TestProfile();
        other.model = "LW-X4207";
        t.StartCard(other);
        w.WriteToDataCardBtnClick();
        QVERIFY(t.Log().contains(QStringLiteral("datacard is different...")));
        QCOMPARE(t.prompts().messages, (QStringList{"Datacard is different,please read again.",
                                                    "Write to datacard failed..."}));
        QVERIFY(t.NvWrites().empty());
    }

    void writeWithADescriptionWithoutItems() {
        WindowUnderTest t(WindowSetup{testsupport::TestProfile(), [](const auto& folder) {
                                          std::ofstream(folder / "Config_Info.ini", std::ios::trunc)
                                              << "[CONFIG_PAGE]\r\nP=Page\r\n[CONFIG_ITEM]\r\n";
                                      }});
        TMainFrm& w = t.w();
        QVERIFY(w.ConfigItems.empty());
        w.WriteToDataCardBtnClick();
        QVERIFY(t.Log().contains(QStringLiteral("Write Config item succeed...")));
        QCOMPARE(t.Requests(Command::kBackup), size_t{1});
        QCOMPARE(t.prompts().messages.last(), QStringLiteral("Write to datacard succeed..."));
    }

    void aBlankCheckedItemStopsBeforeTheCardIsOpenedForWriting() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        w.LabelBox("B_LOW")->setChecked(true);
        w.ValueBox("B_LOW")->setEditText(QStringLiteral("  "));
        g_opens = g_closes = 0;
        w.WriteToDataCardBtnClick();
        QVERIFY(t.Log().contains(QStringLiteral("Low byte:  was NULL...")));
        QCOMPARE(g_opens, 1);  // only the identity check
        QCOMPARE(g_closes, 1);
        QVERIFY(t.NvWrites().empty());
    }

    void aFailedItemEndsTheWrite() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        w.LabelBox("MODE")->click();
        Show(w, "MODE", "Fast");
        t.card().SetFault(Command::kNvWrite, Fault::Make(Fault::Kind::kNvStatus, 7));
        w.WriteToDataCardBtnClick();
        const QStringList log = t.Log();
        QVERIFY(log.contains(QStringLiteral("Failed to write config item...")));
        QVERIFY(!log.contains(QStringLiteral("Write Config item succeed...")));
        QCOMPARE(t.Requests(Command::kBackup), size_t{0});
        QCOMPARE(t.Requests(Command::kReset), size_t{0});
        QVERIFY(log.contains(QStringLiteral("Close port...")));
        QCOMPARE(t.prompts().messages.last(), QStringLiteral("Write to datacard failed..."));
        QCOMPARE(w.StatusBar1->currentMessage(), QStringLiteral("Write failed at Low byte"));
        QCOMPARE(g_closes, g_opens);
    }

    // A multi-value item whose NV item fails, followed by items that write: the loop goes on,
    // but the write has failed, and the card is neither backed up nor restarted.
    void aFailedMultiValueItemFailsTheWrite() {
        auto profile = testsupport::TestProfile();
        profile.read_only.insert(60010);
        WindowUnderTest t(WindowSetup{profile, {}});
        TMainFrm& w = t.w();
        w.WriteToDataCardBtnClick();
        const QStringList log = t.Log();
        QVERIFY(log.contains(QStringLiteral("Failed to write Singel config item...")));
        QVERIFY(log.contains(QStringLiteral("NV item 60010 of Band was not written...")));
        QVERIFY2(t.NvWrites().size() > 2, "later items are still written");
        QCOMPARE(t.Requests(Command::kBackup), size_t{0});
        QCOMPARE(t.Requests(Command::kReset), size_t{0});
        QCOMPARE(t.prompts().messages.last(), QStringLiteral("Write to datacard failed..."));
    }

    // A command file drives the window's own commands: change, write, wait for the card to
    // come back from its restart, read again, take a picture.
    void aCommandFileRunsTheCommands() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const QString picture = QString::fromStdString((t.Dir() / "window.png").string());
        int status = -1;
        ScriptRunner script(w, {"# a demo", "select MODE Fast", "write", "wait-for-card 60", "read",
                                "tab Shared", "screenshot " + picture, "quit", "read"});
        script.Start([&](int exit_status) { status = exit_status; });
        QTRY_COMPARE_WITH_TIMEOUT(status, 0, 60000);
        QCOMPARE(Nv(t, 60040, 1), std::vector<uint8_t>{1});
        QCOMPARE(t.card().Resets(), 1);
        QCOMPARE(Shown(w, "MODE"), QStringLiteral("Fast"));
        QCOMPARE(t.Log().filter(QStringLiteral("Read from datacard succeed...")).size(), 2);
        QVERIFY(!QImage(picture).isNull());

        status = -1;
        ScriptRunner broken(w, {"select MODE Fastest", "write"});
        broken.Start([&](int exit_status) { status = exit_status; });
        QTRY_COMPARE_WITH_TIMEOUT(status, 1, 10000);
    }

    // A second command is refused while one runs, and a click meanwhile is dropped, not run
    // afterwards.
    void oneCommandAtATime() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        t.card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kLateReply, 1000, 1));
        bool refused = false;
        QTabBar* tabs = w.PageControl1->tabBar();
        w.PageControl1->setCurrentIndex(0);
        QTimer::singleShot(0, &w, [&] {
            QVERIFY(w.CommandRunning());
            refused = !w.RunCommand([] {});
            // A click on another tab, and a key press: dropped, not kept for later.
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
            QTest::keyClick(tabs, Qt::Key_Right);
            w.close();
        });
        g_opens = 0;
        w.ReadFromDataCardBtnClick();
        QVERIFY(refused);
        QCOMPARE(g_opens, 1);
        QApplication::processEvents();
        QCOMPARE(w.PageControl1->currentIndex(), 0);
        QVERIFY2(!w.isVisible(), "the close waited for the read, then happened");
    }

    // Closing the window while Write runs: the Write goes to its end, then the window closes.
    void closingDuringAWrite() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        QTimer::singleShot(0, &w, [&] { w.close(); });
        w.WriteToDataCardBtnClick();
        QCOMPARE(t.Requests(Command::kReset), size_t{1});
        QCOMPARE(t.prompts().messages.last(), QStringLiteral("Write to datacard succeed..."));
        QVERIFY(!w.isVisible());
    }

    // A command started before the start-up sequence's tick does not swallow it.
    void theStartUpWaitsForACommandStartedFirst() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        w.Timer1->start();
        bool ticked_inside = false;
        w.RunCommand([&] {
            w.Timer1Timer();  // the tick, arriving while the command runs
            ticked_inside = w.Timer1->isActive();
        });
        QVERIFY2(ticked_inside, "the start-up is kept for later");
        g_opens = 0;
        w.Timer1Timer();
        QVERIFY(!w.Timer1->isActive());
        QCOMPARE(g_opens, 1);  // the start-up read ran
    }

    // A description whose NV_ID is no number breaks the command off: the card is closed, a
    // Write is neither backed up nor restarted.
    void anUnusableDescriptionBreaksTheCommandOff() {
        WindowUnderTest t(WindowSetup{testsupport::TestProfile(), [](const auto& folder) {
                                          Edit(folder / "Config_Info.ini", "NV_ID=60040",
                                               "NV_ID=6004O");
                                      }});
        TMainFrm& w = t.w();
        QVERIFY(t.Log().contains(
            QStringLiteral("Item MODE: NV_ID \"6004O\" is not a usable number...")));
        QVERIFY(t.Log().contains(QStringLiteral("Failed to read data from datacard...")));
        QCOMPARE(g_closes, g_opens);
        w.LabelBox("MODE")->click();
        Show(w, "MODE", "Fast");
        w.WriteToDataCardBtnClick();
        QCOMPARE(t.Requests(Command::kBackup), size_t{0});
        QCOMPARE(t.Requests(Command::kReset), size_t{0});
        QCOMPARE(t.prompts().messages.last(), QStringLiteral("Write to datacard failed..."));
        QCOMPARE(g_closes, g_opens);
    }
};

QTEST_MAIN(ReadWriteTest)
#include "read_write_test.moc"
