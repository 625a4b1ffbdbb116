// The window against a simulated card, end to end: the start-up read, a Write, a close while the
// Write runs, a command while another runs, and a script with every verb.
#include <QImage>
#include <QLabel>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest>
#include <atomic>
#include <iostream>
#include <thread>

#include "tests/app/window_fixture.h"
#include "tests/support/files.h"

using namespace cardwright;
using cardsim::Command;
using testsupport::Choose;
using testsupport::Nv;
using testsupport::Shown;
using testsupport::WindowSetup;
using testsupport::WindowUnderTest;

// Every open and close of the card the window makes (this program links with --wrap; the
// window calls the library from its presenter's worker thread, the test's own calls are not
// counted).
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

QString Row(WindowUnderTest& t, int row) {
    return t.Widget<QTableWidget>("CommonInfoLst")->item(row, 1)->text();
}

}  // namespace

class ReadWriteTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { g_opens = g_closes = 0; }

    void startUpReadFillsTheWindow() {
        WindowUnderTest t;
        const QStringList log = t.Log();
        QCOMPARE(log.first(), QStringLiteral("Init port succeed..."));
        QCOMPARE(log.mid(log.size() - 2),
                 (QStringList{"Port closed", "Read from datacard succeed..."}));
        QVERIFY(t.Widget<QTableWidget>("CommonInfoLst")->isVisible());
        QCOMPARE(Row(t, 0), QStringLiteral("356789012345678"));
        QCOMPARE(Row(t, 3), QStringLiteral("LWX4201-MBR3-QK7A Ver.C"));
        QCOMPARE(Row(t, 4), QStringLiteral("LW-X4201"));
        QCOMPARE(Shown(t, "BAND"), QStringLiteral("America"));
        // A box is enabled exactly when its item is ticked: changed from its default.
        QVERIFY(t.Widget<QComboBox>("BAND")->isEnabled());
        QVERIFY(!t.Widget<QComboBox>("MODE")->isEnabled());
        QCOMPARE(t.Status(), QStringLiteral("Read: done, 20 items, 1 not read"));
        QCOMPARE(t.Widget<QLabel>("SourcePanel")->text(),
                 QStringLiteral("Card LW-X4201 on COM12, IMEI 356789012345678"));
        QCOMPARE(t.w().windowTitle(),
                 QStringLiteral("Cardwright - Card LW-X4201 on COM12, IMEI 356789012345678"));
        QCOMPARE(g_closes, g_opens);
        QVERIFY(g_opens > 0);
    }

    // Choices made in the boxes reach the card; the message box comes after the outcome is in
    // the status bar.
    void writeWhatTheBoxesShow() {
        WindowUnderTest t;
        Choose(t, "MODE", "Fast");
        Choose(t, "B_HIGH", "100");
        t.Click("WriteToDataCardBtn");
        QCOMPARE(t.answers.messages, QStringList{"Write to datacard succeed..."});
        QCOMPARE(t.Requests(Command::kBackup), size_t{1});
        QCOMPARE(t.Requests(Command::kReset), size_t{1});
        QCOMPARE(Nv(t, 60040, 1), std::vector<uint8_t>{1});
        QCOMPARE(Nv(t, 60000, 4), (std::vector<uint8_t>{0x07, 0x01, 0x64, 0x00}));
        QCOMPARE(t.Status(), QStringLiteral("Write: done"));
        QCOMPARE(g_closes, g_opens);
    }

    // Closing the window while Write runs: the Write goes to its end (the card's reset asked
    // once), the status bar says why the window stays, then the window closes.
    void closingDuringAWrite() {
        WindowUnderTest t;
        bool stayed = false;
        QString said;
        QTimer closer;
        // "Writing 3 of 20: Band" or a later item: on a busy machine the window may take the
        // status of several items in one pass of its loop, and the timer see only the last.
        const QRegularExpression writing(QStringLiteral("^Writing (\\d+) of "));
        QObject::connect(&closer, &QTimer::timeout, &t.w(), [&] {
            const auto item = writing.match(t.Status());
            if (item.hasMatch() && item.captured(1).toInt() >= 3) {
                closer.stop();
                t.w().close();
                QApplication::processEvents();
                stayed = t.w().isVisible();
                said = t.Status();
            }
        });
        closer.start(0);
        t.Click("WriteToDataCardBtn");
        QVERIFY(stayed);
        QCOMPARE(said, QStringLiteral("The window closes once Write has ended"));
        QTRY_VERIFY(!t.w().isVisible());
        QCOMPARE(t.Requests(Command::kBackup), size_t{1});
        QCOMPARE(t.Requests(Command::kReset), size_t{1});
        QVERIFY(t.Log().contains(QStringLiteral("Write to datacard succeed...")));
        QVERIFY2(t.answers.messages.isEmpty(), "nobody is left to read the message box");
        QCOMPARE(g_closes, g_opens);
    }

    // While a command runs its buttons are disabled and a command asked for is refused; a tab
    // can still be looked at.
    void oneCommandAtATime() {
        WindowUnderTest t;
        t.card().SetFault(Command::kNvRead,
                          cardsim::Fault::Make(cardsim::Fault::Kind::kLateReply, 1000, 1));
        bool disabled = false;
        bool refused = false;
        QTimer meanwhile;
        QObject::connect(&meanwhile, &QTimer::timeout, &t.w(), [&] {
            if (t.Status().startsWith(QStringLiteral("Reading"))) {
                meanwhile.stop();
                disabled = !t.Widget<QToolButton>("WriteToDataCardBtn")->isEnabled() &&
                           !t.Widget<QComboBox>("ComboBox1")->isEnabled();
                refused = !t.w().Presenter().Write();
                t.Widget<QTabWidget>("PageControl1")->setCurrentIndex(0);
            }
        });
        meanwhile.start(0);
        g_opens = 0;
        t.Click("ReadFromDataCardBtn");
        QVERIFY(disabled);
        QVERIFY(refused);
        QCOMPARE(g_opens, 1);
        QCOMPARE(t.Requests(Command::kBackup), size_t{0});
        QVERIFY(t.Widget<QToolButton>("WriteToDataCardBtn")->isEnabled());
    }

    // A script drives the presenter's own commands: every verb, and the exit status the program
    // ends with.
    void aScriptWithEveryVerb() {
        WindowUnderTest t;
        const QString dir = QString::fromStdString(t.Dir().string());
        const QString file = dir + QStringLiteral("/cards.ini");
        const QString picture = dir + QStringLiteral("/window.png");
        std::ostringstream out;
        std::ostringstream err;
        t.w().Presenter().RunScript(
            {"# a technician's run", "select MODE Fast", "write",
             "expect-log BackupNVItems succed...", "wait-for-card 60", "read",
             "export " + file.toStdString(), "answer yes", "select B_LOW 9",
             "export " + file.toStdString(), "import " + file.toStdString(), "solution save Field",
             "solution select DEFAULT", "led 1 3 Red 7", "tab Shared",
             "screenshot " + picture.toStdString(), "quit", "write"},
            out, err);
        QTimer::singleShot(std::chrono::minutes(2), [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(QString::fromStdString(err.str()), QString());
        QCOMPARE(Nv(t, 60040, 1), std::vector<uint8_t>{1});
        QCOMPARE(t.card().Resets(), 1);
        QVERIFY(!QImage(picture).isNull());
        QVERIFY(QString::fromStdString(out.str()).contains(QStringLiteral("Export anyway? Yes")));
        t.Settle();
        QCOMPARE(t.Widget<QTabWidget>("PageControl1")
                     ->tabText(t.Widget<QTabWidget>("PageControl1")->currentIndex()),
                 QStringLiteral("Shared"));
        QCOMPARE(t.Widget<QComboBox>("ComboBox1")->currentText(), QStringLiteral("DEFAULT"));
    }

    // A script whose Write fails ends with status 1 and names the line.
    void aFailedScriptCommandEndsWithStatusOne() {
        WindowUnderTest t;
        t.card().SetFault(Command::kNvWrite,
                          cardsim::Fault::Make(cardsim::Fault::Kind::kNvStatus, 7));
        std::ostringstream out;
        std::ostringstream err;
        t.w().Presenter().RunScript({"select MODE Fast", "write"}, out, err);
        QTimer::singleShot(std::chrono::minutes(1), [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 1);
        QCOMPARE(QString::fromStdString(err.str()),
                 QStringLiteral("script: line 2: Write failed at Low byte\n"));
    }
};

QTEST_MAIN(ReadWriteTest)
#include "read_write_test.moc"
