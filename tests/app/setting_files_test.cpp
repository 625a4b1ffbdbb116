// Export and Import through the window's own file dialogs, against simulated cards: a card's
// settings carried to another card of its type.
#include <QtTest>

#include "cardwork/model/ini_file.h"
#include "cardwork/model/setting_crc.h"
#include "tests/app/window_fixture.h"

using namespace cardwright;
using testsupport::Nv;
using testsupport::WindowUnderTest;

class SettingFilesTest : public QObject {
    Q_OBJECT

  private slots:
    // Export, change the card, import, write: the card's NV items and port setting are as they
    // were when exported.
    void roundTripThroughASettingFile() {
        WindowUnderTest t;
        std::map<uint16_t, std::vector<uint8_t>> card;
        // Not 60011: Band extra shares it with Band, and writing Band extra puts Band's value at
        // Band extra's offset, so its first byte depends on the order of the writes.
        for (uint16_t item : {60000, 60010, 60012, 60030, 60040, 60050, 50012, 50013}) {
            card[item] = Nv(t, item, 128);
        }
        const auto port = t.card().PortSetting();
        const auto file = t.Dir() / "round.ini";
        t.answers.save_file = QString::fromStdString((t.Dir() / "round").string());
        t.Click("ExportBtn");
        QCOMPARE(t.answers.file_dialogs, 1);
        QVERIFY(VerifySettingCrc(IniFile(file), false));
        // The status bar shortens the path to fit beside the source panel; its tool tip has it
        // whole.
        QCOMPARE(
            t.Widget<QStatusBar>("StatusBar1")->toolTip(),
            QStringLiteral("Export: written to %1").arg(QString::fromStdString(file.string())));
        QVERIFY(t.Status().endsWith(QStringLiteral("/round.ini")));

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
        t.answers.open_file = QString::fromStdString(file.string());
        t.Click("ImportBtn");
        QVERIFY(t.Log().contains(QStringLiteral("import file finished...")));
        t.Click("WriteToDataCardBtn");
        QCOMPARE(t.answers.messages.last(), QStringLiteral("Write to datacard succeed..."));
        for (const auto& [item, value] : card) {
            QCOMPARE(Nv(t, item, 128), value);
        }
        QCOMPARE(t.card().PortSetting(), port);
    }

    // A cancelled dialog writes and loads nothing.
    void cancelledDialogs() {
        WindowUnderTest t;
        t.Click("ExportBtn");
        QCOMPARE(t.Status(), QStringLiteral("Export cancelled"));
        t.Click("ImportBtn");
        QCOMPARE(t.Status(), QStringLiteral("Import cancelled"));
        QCOMPARE(t.answers.file_dialogs, 2);
        QCOMPARE(testsupport::Shown(t, "BAND"), QStringLiteral("America"));
    }
};

QTEST_MAIN(SettingFilesTest)
#include "setting_files_test.moc"
