#include <QComboBox>
#include <QTableWidget>
#include <QtTest>
#include <fstream>

#include "cardwork/model/ini_file.h"
#include "cardwork/model/setting_crc.h"
#include "tests/app/window_fixture.h"
#include "tests/support/file_size_limit.h"

using namespace cardwright;
using testsupport::Nv;
using testsupport::Show;
using testsupport::Shown;
using testsupport::WindowSetup;
using testsupport::WindowUnderTest;

namespace {

std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

QString Path(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// What config_value.ini holds: no import or export may change it.
std::string Values(WindowUnderTest& t) {
    return Read(t.Dir() / "config_value.ini");
}

}  // namespace

class SettingFilesTest : public QObject {
    Q_OBJECT

  private slots:
    void exportWithACardReadsItAgainAndSealsTheFile() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const std::string values_before = Values(t);
        w.LabelBox("MODE")->click();
        Show(w, "MODE", "Slow");  // replaced by the fresh read
        t.prompts().save_file = Path(t.Dir() / "cards");
        w.ExportBtnClick();
        QCOMPARE(t.prompts().filters, QStringList{"Ini Files|*.ini"});
        const QStringList log = t.Log();
        for (const char* line :
             {"Init Card Type succeed...", "Port closed", "start to export file...",
              "start to save common config item info...", "start to save device state item info...",
              "start export Led info...", "export file finished..."}) {
            QVERIFY2(log.contains(QString::fromLatin1(line)), line);
        }
        QVERIFY(!log.contains(QStringLiteral("start to export versin info...")));
        const IniFile file(t.Dir() / "cards.ini");
        QVERIFY(VerifySettingCrc(file, false));
        QCOMPARE(file.ReadString("DATACARD_TYPE", "VALUE", ""), std::string("LW-X4201"));
        QCOMPARE(file.ReadSections(),
                 (std::vector<std::string>{"DATACARD_TYPE", "DEFAULT", "CRC"}));
        QVERIFY(file.ReadString("DEFAULT", "LED_STATUS1").has_value());
        QVERIFY2(!file.ReadString("DEFAULT", "MODE").has_value(), "the card's value is read");
        QCOMPARE(Values(t), values_before);
    }

    // Export, change the card, import, write: the card's NV items and port setting are as they
    // were when exported.
    void roundTripThroughASettingFile() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        std::map<uint16_t, std::vector<uint8_t>> card;
        // Not 60011: Band extra shares it with Band, and writing Band extra puts Band's value at
        // Band extra's offset, so its first byte depends on the order of the writes.
        for (uint16_t item : {60000, 60010, 60012, 60030, 60040, 60050, 50012, 50013}) {
            card[item] = Nv(t, item, 128);
        }
        const auto port = t.card().PortSetting();
        t.prompts().save_file = Path(t.Dir() / "round.ini");
        w.ExportBtnClick();

        // Another card of the same type, with other values and port setting.
        auto other = testsupport::TestProfile();
        for (auto& [item, value] : other.nv) {
            if (item >= 60000) {
                value.fill(0);
            }
        }
        other.port_state = 0;
        other.port_mask = 0;
        t.StartCard(other);
        t.prompts().open_file = Path(t.Dir() / "round.ini");
        w.ImportBtnClick();
        QVERIFY(t.Log().contains(QStringLiteral("import file finished...")));
        w.WriteToDataCardBtnClick();
        QCOMPARE(t.prompts().messages.last(), QStringLiteral("Write to datacard succeed..."));
        for (const auto& [item, value] : card) {
            QCOMPARE(Nv(t, item, 128), value);
        }
        QCOMPARE(t.card().PortSetting(), port);
    }

    void importFailures() {
        struct Case {
            const char* name;
            std::string text;  // the file; none for a name that does not exist
            bool exists;
            const char* logged;
            bool finished;
        } cases[] = {
            {"missing.ini", "", false, "file not correct, import failed...", false},
            {"no-values.ini", "[DATACARD_TYPE]\r\nVALUE=X\r\n", true,
             "file not correct, import failed...", false},
            {"broken-seal.ini", "[DEFAULT]\r\nB_LOW=9\r\n[CRC]\r\nVALUE=1\r\n", true,
             "CRC Verify failed, Import failed...", true},
        };
        for (const auto& c : cases) {
            WindowUnderTest t;
            TMainFrm& w = t.w();
            const std::string values_before = Values(t);
            if (c.exists) {
                std::ofstream(t.Dir() / c.name, std::ios::binary) << c.text;
            }
            t.prompts().open_file = Path(t.Dir() / c.name);
            w.ImportBtnClick();
            QVERIFY2(t.Log().contains(QString::fromLatin1(c.logged)), c.name);
            QCOMPARE(t.Log().contains(QStringLiteral("import file finished...")), c.finished);
            QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("1"));  // every item at its default
            QVERIFY(!w.LedInfo.Writable());
            QCOMPARE(Values(t), values_before);
        }
    }

    // A sealed file whose value is no number is not correct: nothing of it is shown.
    void aSealedValueThatIsNoNumberIsRefused() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const std::string values_before = Values(t);
        const std::string values = "B_LOW=9\r\nDEVICE_STATE_INFO=5x\r\n";
        const auto crc = SettingCrc(values);
        std::ofstream(t.Dir() / "bad.ini", std::ios::binary)
            << "[DEFAULT]\r\n"
            << values << "[CRC]\r\nVALUE=" << crc << "\r\n";
        t.prompts().open_file = Path(t.Dir() / "bad.ini");
        w.ImportBtnClick();
        QVERIFY(t.Log().contains(QStringLiteral("file not correct, import failed...")));
        QVERIFY(!t.Log().contains(QStringLiteral("import file finished...")));
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("1"));
        QCOMPARE(Values(t), values_before);
    }

    // A file without LED lines says nothing about the LED: a Write after it leaves the card's
    // patterns alone, and an export of a table that holds nothing carries no LED lines.
    void aFileWithoutLedLinesLeavesTheCardsPatterns() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const auto patterns = Nv(t, 50012, 128);
        const std::string values = "B_LOW=9\r\n";
        std::ofstream(t.Dir() / "no-led.ini", std::ios::binary)
            << "[DEFAULT]\r\n"
            << values << "[CRC]\r\nVALUE=" << SettingCrc(values) << "\r\n";
        t.prompts().open_file = Path(t.Dir() / "no-led.ini");
        w.ImportBtnClick();
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("9"));
        w.WriteToDataCardBtnClick();
        QCOMPARE(t.prompts().messages.last(), QStringLiteral("Write to datacard succeed..."));
        QCOMPARE(Nv(t, 50012, 128), patterns);
        QCOMPARE(Nv(t, 60000, 1), std::vector<uint8_t>{9});

        t.prompts().save_file = Path(t.Dir() / "again.ini");
        t.PullCard();  // the values on screen, with a table that holds nothing real
        w.ExportBtnClick();
        QVERIFY(t.Log().contains(
            QStringLiteral("LED settings not exported: none were read, loaded or edited...")));
        QVERIFY(!IniFile(t.Dir() / "again.ini").ReadString("DEFAULT", "LED_STATUS1"));
    }

    // A file far larger than any setting file is not read (it is not correct), and nothing is
    // written over it.
    void anOversizeFileIsRefused() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const auto huge = t.Dir() / "huge.ini";
        std::ofstream(huge, std::ios::binary) << "[DEFAULT]\r\nB_LOW=9\r\n";
        std::filesystem::resize_file(huge, IniFile::kMaxFileBytes + 1);  // sparse
        t.prompts().open_file = Path(huge);
        w.ImportBtnClick();
        QVERIFY(t.Log().contains(QStringLiteral("file not correct, import failed...")));
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("1"));

        t.PullCard();
        t.prompts().save_file = Path(huge);
        w.ExportBtnClick();
        QVERIFY(!t.prompts().messages.filter(QStringLiteral("Export failed: ")).isEmpty());
        QCOMPARE(std::filesystem::file_size(huge), IniFile::kMaxFileBytes + 1);
    }

    void importChecksTheCardThatWasRead() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        t.PullCard();
        t.prompts().open_file = Path(t.Dir() / "any.ini");
        w.ImportBtnClick();
        QVERIFY(t.Log().contains(QStringLiteral("datacard is different...")));
        QCOMPARE(t.prompts().messages, QStringList{"Datacard is different,please read again."});
        QVERIFY(t.Log().contains(QStringLiteral("import file finished...")));
        QVERIFY2(t.prompts().filters.isEmpty(), "no file is asked for");
    }

    // Without a card, and no card read since start, an import goes by the file's card type, and
    // an export writes the values on screen (LED lines in DEFAULT whatever the solution).
    void withoutACard() {
        WindowUnderTest t(
            WindowSetup{std::nullopt, [](const std::filesystem::path& folder) {
                            std::ofstream(folder / "config_value.ini", std::ios::trunc)
                                << "[MAIN]\ncurrent=Stored\n[Stored]\n"
                                   "ConfigLed=1\nB_LOW=7\nLED_STATUS1=2,5|\n";
                        }});
        TMainFrm& w = t.w();
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("7"));
        t.prompts().save_file = Path(t.Dir() / "screen.INI");
        w.ExportBtnClick();
        QVERIFY(t.Log().contains(QStringLiteral("Data valid check OK...")));
        const IniFile file(t.Dir() / "screen.INI");
        QCOMPARE(file.ReadString("DATACARD_TYPE", "VALUE", ""), std::string("--"));
        QCOMPARE(file.ReadString("DEFAULT", "B_LOW", ""), std::string("7"));
        QCOMPARE(file.ReadString("DEFAULT", "LED_STATUS1", "").substr(0, 4), std::string("2,5|"));
        QVERIFY(!file.SectionExists("Stored"));

        std::string text = Read(t.Dir() / "screen.INI");
        text.replace(text.find("VALUE=--"), 8, "VALUE=LW-X4201");  // not sealed: still loads
        std::ofstream(t.Dir() / "typed.ini", std::ios::binary) << text;
        t.prompts().open_file = Path(t.Dir() / "typed.ini");
        w.ImportBtnClick();
        QVERIFY(t.Log().contains(QStringLiteral("import file finished...")));
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("7"));
    }

    void exportNeverLosesAFile() {
        WindowUnderTest t(WindowSetup{std::nullopt, {}});
        TMainFrm& w = t.w();
        // The program's own files, by any name, are refused.
        for (const auto& own : {t.Dir() / "config_value.ini", t.Dir() / "." / "Config_Info"}) {
            t.prompts().messages.clear();
            const std::string kept = Read(t.Dir() / "config_value.ini");
            t.prompts().save_file = Path(own);
            w.ExportBtnClick();
            QCOMPARE(t.prompts().messages.size(), 1);
            QCOMPARE(Read(t.Dir() / "config_value.ini"), kept);
        }
        // An export that cannot be written whole (the disk is full) leaves the old file as it
        // was, and the user is told.
        std::ofstream(t.Dir() / "old.ini") << "[DEFAULT]\r\nOLD=1\r\n";
        t.prompts().messages.clear();
        t.prompts().save_file = Path(t.Dir() / "old.ini");
        {
            const testsupport::FileSizeLimit full_disk(10);
            w.ExportBtnClick();
        }
        QVERIFY(!t.prompts().messages.filter(QStringLiteral("Export failed: ")).isEmpty());
        QCOMPARE(Read(t.Dir() / "old.ini"), std::string("[DEFAULT]\r\nOLD=1\r\n"));
        QVERIFY(!t.Log().contains(QStringLiteral("export file finished...")));

        // Cancelled dialogs write nothing and log what they always did.
        t.prompts().save_file.clear();
        t.prompts().open_file.clear();
        const int lines = static_cast<int>(t.Log().size());
        w.ImportBtnClick();
        QCOMPARE(t.Log().mid(lines).filter(QStringLiteral("import file finished...")).size(), 1);
    }

    // Even a cancelled dialog takes the configuration files up again, and the program ends when
    // one has gone meanwhile.
    void theConfigurationFilesAreTakenUpAgain() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        std::filesystem::remove(t.Dir() / "config_value.ini");
        w.ImportBtnClick();
        QVERIFY(t.Log().contains(QStringLiteral("import file finished...")));
        QCOMPARE(t.prompts().messages, QStringList{"Config file not exists..."});
        QVERIFY(!w.isVisible());
    }

    void duplicateDescriptionKeysAreReportedAndIgnored() {
        WindowUnderTest t(WindowSetup{testsupport::TestProfile(), [](const auto& folder) {
                                          std::ofstream(folder / "Config_Info.ini", std::ios::app)
                                              << "\r\n[CONFIG_ITEM]\r\nB_LOW=1\r\n";
                                      }});
        TMainFrm& w = t.w();
        (void)w;
        const auto reported = [&] {
            return t.Log().filter(QStringLiteral("Item B_LOW is listed twice")).size();
        };
        QCOMPARE(reported(), 0);  // a second section of a name is not read: the first wins
        std::string text = Read(t.Dir() / "Config_Info.ini");
        text.replace(text.find("B_FLAG=1"), 8, "B_LOW=1\r\nB_FLAG=1");
        std::ofstream(t.Dir() / "Config_Info.ini", std::ios::binary | std::ios::trunc) << text;
        t.w().ReadFromDataCardBtnClick();
        QCOMPARE(reported(), 1);
        t.w().ReadFromDataCardBtnClick();
        QCOMPARE(reported(), 2);  // once per build
        QCOMPARE(std::count_if(t.w().ConfigItems.begin(), t.w().ConfigItems.end(),
                               [](const TConfigItem& item) { return item.Name == "B_LOW"; }),
                 1);
    }
};

QTEST_MAIN(SettingFilesTest)
#include "setting_files_test.moc"
