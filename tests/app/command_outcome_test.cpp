// What a technician meets when a command fails: the status bar says why, a card that goes away
// ends the command, and an export does not throw away changes unasked.
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>
#include <chrono>
#include <filesystem>
#include <optional>

#include "app/command_outcome.h"
#include "tests/app/window_fixture.h"
#include "tests/support/run_program.h"

using namespace cardwright;
using cardsim::Command;
using testsupport::Show;
using testsupport::Shown;
using testsupport::WindowSetup;
using testsupport::WindowUnderTest;

namespace {

using Steady = std::chrono::steady_clock;

// The tty the card's PC UI interface is published as.
std::string PcUiTty(WindowUnderTest& t) {
    return std::filesystem::read_symlink(t.card().Root().ComDirectory() / "COM12").string();
}

// Pulls the card out the first time the status bar shows a step starting with `step`, and
// notes when.
class PullWhenShown {
  public:
    PullWhenShown(WindowUnderTest& t, QString step) : t_(t), step_(std::move(step)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!pulled_at_ && t_.w().StatusBar1->currentMessage().startsWith(step_)) {
                t_.card().Vanish();
                pulled_at_ = Steady::now();
            }
        });
        timer_.start(0);
    }
    std::optional<Steady::time_point> PulledAt() const { return pulled_at_; }

  private:
    WindowUnderTest& t_;
    QString step_;
    QTimer timer_;
    std::optional<Steady::time_point> pulled_at_;
};

// The log lines after the last one that is `text`.
QStringList After(const QStringList& log, const QString& text) {
    const auto at = log.lastIndexOf(text);
    return at < 0 ? QStringList{} : log.mid(at + 1);
}

}  // namespace

class CommandOutcomeTest : public QObject {
    Q_OBJECT

  private slots:
    // Each way a command can end, in the status bar's words: a refusal is a failure there, and
    // what a failure is at and why each show only where the result names them.
    void theStatusBarPutsEachEndingInWords() {
        const auto words = [](std::string_view command, const WorkResult& result) {
            return QString::fromStdString(CommandOutcome(command, result, "done, as asked"));
        };
        QCOMPARE(words("Write", WorkResult::Done()), QStringLiteral("Write: done, as asked"));
        QCOMPARE(words("Write", WorkResult::Failed(WorkStep::kWritingItem, {}, "Band")),
                 QStringLiteral("Write failed at Band"));
        QCOMPARE(words("Write", WorkResult::Failed(WorkStep::kWritingLed, "COM12 is gone",
                                                   "the LED settings")),
                 QStringLiteral("Write failed at the LED settings: COM12 is gone"));
        QCOMPARE(words("Import", WorkResult::Refused(WorkStep::kCheckingCardType, "no card found")),
                 QStringLiteral("Import failed: no card found"));
        QCOMPARE(words("Export", WorkResult::Cancelled(WorkStep::kChoosingFile)),
                 QStringLiteral("Export cancelled"));

        std::vector<ItemReading> readings(3);
        readings[0].read = readings[2].read = true;
        QCOMPARE(QString::fromStdString(ReadDone(readings)),
                 QStringLiteral("done, 3 items, 1 not read"));
        readings[1].read = true;
        QCOMPARE(QString::fromStdString(ReadDone(readings)), QStringLiteral("done, 3 items"));
    }

    // A port that another program holds open: the log keeps its line, the status bar names the
    // program.
    void aHeldPortIsNamedInTheStatusBar() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        testsupport::RunningProgram holder(
            "/bin/sh", {"-c", "exec 3<>" + PcUiTty(t) + "; echo held; read line"});
        QCOMPARE(holder.Read(5), std::string("held\n"));
        w.ReadFromDataCardBtnClick();
        QCOMPARE(t.Log().mid(t.Log().size() - 2),
                 (QStringList{"Init port failed", "Failed to read data from datacard..."}));
        QCOMPARE(w.StatusBar1->currentMessage(),
                 QStringLiteral("Read failed: COM12 is in use by sh (pid %1)").arg(holder.Pid()));
        QCOMPARE(w.windowTitle(), QStringLiteral("Cardwright"));
        QVERIFY(w.SourcePanel->text().isEmpty());
    }

    // The card pulled out while Read goes through the items: the read ends at the next item, as
    // a failed read, instead of trying every item.
    void aCardPulledOutMidReadEndsTheRead() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const PullWhenShown pull(t, QStringLiteral("Reading 5 of"));
        w.ReadFromDataCardBtnClick();
        const auto ended = Steady::now();
        QVERIFY(pull.PulledAt());
        QVERIFY2(ended - *pull.PulledAt() < std::chrono::seconds(5), "ended soon after");
        const QStringList after = After(t.Log(), QStringLiteral("Init port succeed..."));
        QVERIFY(after.size() > 4);
        QVERIFY(after.filter(QStringLiteral("Read failed, reason")).size() <= 1);
        QCOMPARE(after.mid(after.size() - 3),
                 (QStringList{"The datacard is gone: it was unplugged or is restarting...",
                              "Port closed", "Failed to read data from datacard..."}));
        QCOMPARE(w.StatusBar1->currentMessage(), QStringLiteral("Read failed: COM12 is gone"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Cardwright"));
    }

    void aCardPulledOutMidWriteEndsTheWrite() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const qsizetype before = t.Log().size();
        const PullWhenShown pull(t, QStringLiteral("Writing 2 of"));
        w.WriteToDataCardBtnClick();
        QVERIFY(pull.PulledAt());
        const QStringList log = t.Log().mid(before);
        QVERIFY(
            log.contains(QStringLiteral("The datacard is gone: it was unplugged or is "
                                        "restarting...")));
        QVERIFY(!log.contains(QStringLiteral("Start BackupNVItems...")));
        QCOMPARE(log.filter(QStringLiteral("Write Failed")).size(), 1);
        QCOMPARE(log.last(), QStringLiteral("Failed to write info..."));
        QCOMPARE(t.prompts().messages.last(), QStringLiteral("Write to datacard failed..."));
        QVERIFY2(w.StatusBar1->currentMessage().startsWith(QStringLiteral("Write failed at ")),
                 qPrintable(w.StatusBar1->currentMessage()));
        QVERIFY(w.StatusBar1->currentMessage().endsWith(QStringLiteral(": COM12 is gone")));
    }

    // Export with a card reads it again: with a change on screen not yet written, it asks
    // first. No: nothing is read and nothing written. Yes: the export goes as before.
    void exportAsksBeforeReadingOverAChange() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const std::filesystem::path file = t.Dir() / "cards.ini";
        t.prompts().save_file = QString::fromStdString(file.string());

        w.LabelBox("MODE")->setChecked(true);
        Show(w, "MODE", "Fast");
        t.prompts().answer_yes = false;
        t.card().ClearRequests();
        w.ExportBtnClick();
        QCOMPARE(t.prompts().questions,
                 QStringList{QString::fromLatin1(TMainFrm::kExportRereadQuestion)});
        QCOMPARE(t.Requests(Command::kNvRead), size_t{0});
        QVERIFY(!std::filesystem::exists(file));
        QVERIFY(t.prompts().filters.isEmpty());  // no file dialog either
        QCOMPARE(Shown(w, "MODE"), QStringLiteral("Fast"));
        QCOMPARE(w.StatusBar1->currentMessage(), QStringLiteral("Export cancelled"));

        t.prompts().answer_yes = true;
        w.ExportBtnClick();
        QCOMPARE(t.prompts().questions.size(), 2);
        QVERIFY(std::filesystem::exists(file));
        QCOMPARE(Shown(w, "MODE"), QStringLiteral("DEFAULT"));  // as the card holds it
        QCOMPARE(
            w.StatusBar1->currentMessage(),
            QStringLiteral("Export: written to %1").arg(QString::fromStdString(file.string())));
        QVERIFY(t.Log().contains(QStringLiteral("export file finished...")));

        // Nothing changed since: no question.
        w.ExportBtnClick();
        QCOMPARE(t.prompts().questions.size(), 2);
    }

    // An LED step edited on the page is a change too; without a card nothing is read again,
    // so nothing is asked.
    void onlyAReadOverAChangeAsks() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        t.prompts().answer_yes = false;
        w.LedInfo.SetStep(3, 1, {4, 7});
        w.LedInfo.SetFrom(LedTable::Source::kEdited);
        w.ExportBtnClick();
        QCOMPARE(t.prompts().questions.size(), 1);

        t.PullCard();
        t.prompts().save_file = QString::fromStdString((t.Dir() / "edited.ini").string());
        w.ExportBtnClick();
        QCOMPARE(t.prompts().questions.size(), 1);
        QVERIFY(std::filesystem::exists(t.Dir() / "edited.ini"));
    }

    // Import names the file whose values are shown; Read names the card again.
    void whereTheValuesComeFrom() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const std::filesystem::path file = t.Dir() / "cards.ini";
        t.prompts().save_file = QString::fromStdString(file.string());
        w.ExportBtnClick();
        t.prompts().open_file = t.prompts().save_file;
        w.ImportBtnClick();
        QCOMPARE(w.SourcePanel->text(),
                 QStringLiteral("Setting file cards.ini (not yet written to the card)"));
        QCOMPARE(w.StatusBar1->currentMessage(),
                 QStringLiteral("Import: done, %1 loaded (not yet written to the card)")
                     .arg(QString::fromStdString(file.string())));
        w.ReadFromDataCardBtnClick();
        QCOMPARE(w.SourcePanel->text(),
                 QStringLiteral("Card LW-X4201 on COM12, IMEI 356789012345678"));
    }
};

QTEST_MAIN(CommandOutcomeTest)
#include "command_outcome_test.moc"
