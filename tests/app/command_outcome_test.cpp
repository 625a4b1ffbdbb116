// What the status bar says when the card cannot be used: the program that holds its port, or a
// card pulled out during a Read.
#include <QLabel>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>
#include <chrono>
#include <filesystem>
#include <optional>

#include "tests/app/window_fixture.h"
#include "tests/support/run_program.h"

using testsupport::WindowUnderTest;

namespace {

using Steady = std::chrono::steady_clock;

// The tty the card's PC UI interface is published as.
std::string PcUiTty(WindowUnderTest& t) {
    return std::filesystem::read_symlink(t.card().Root().ComDirectory() / "COM12").string();
}

}  // namespace

class CommandOutcomeTest : public QObject {
    Q_OBJECT

  private slots:
    // A port that another program holds open: the log keeps its lines, the status bar names the
    // program.
    void aHeldPortIsNamedInTheStatusBar() {
        WindowUnderTest t;
        testsupport::RunningProgram holder(
            "/bin/sh", {"-c", "exec 3<>" + PcUiTty(t) + "; echo held; read line"});
        QCOMPARE(holder.Read(5), std::string("held\n"));
        t.Click("ReadFromDataCardBtn");
        QCOMPARE(t.Log().mid(t.Log().size() - 2),
                 (QStringList{"Init port failed", "Failed to read data from datacard..."}));
        QCOMPARE(t.Status(),
                 QStringLiteral("Read failed: COM12 is in use by sh (pid %1)").arg(holder.Pid()));
        QCOMPARE(t.w().windowTitle(), QStringLiteral("Cardwright"));
        QVERIFY(t.Widget<QLabel>("SourcePanel")->text().isEmpty());
    }

    // The card pulled out while Read goes through the items: the read ends at the next item, as
    // a failed read, instead of trying every item.
    void aCardPulledOutMidReadEndsTheRead() {
        WindowUnderTest t;
        std::optional<Steady::time_point> pulled_at;
        QTimer watch;
        // The window may show several steps between two looks: any from the fifth item on.
        const QRegularExpression reading(QStringLiteral("^Reading (\\d+) of"));
        QObject::connect(&watch, &QTimer::timeout, &t.w(), [&] {
            const QRegularExpressionMatch step = reading.match(t.Status());
            if (!pulled_at && step.hasMatch() && step.captured(1).toInt() >= 5) {
                t.card().Vanish();
                pulled_at = Steady::now();
            }
        });
        watch.start(0);
        const qsizetype before = t.Log().size();
        t.Click("ReadFromDataCardBtn");
        QVERIFY(pulled_at);
        QVERIFY2(Steady::now() - *pulled_at < std::chrono::seconds(5), "ended soon after");
        const QStringList after = t.Log().mid(before);
        QVERIFY(after.filter(QStringLiteral("Read failed, reason")).size() <= 1);
        QCOMPARE(after.mid(after.size() - 3),
                 (QStringList{"The datacard is gone: it was unplugged or is restarting...",
                              "Port closed", "Failed to read data from datacard..."}));
        QCOMPARE(t.Status(), QStringLiteral("Read failed: COM12 is gone"));
        QCOMPARE(t.w().windowTitle(), QStringLiteral("Cardwright"));
    }
};

QTEST_MAIN(CommandOutcomeTest)
#include "command_outcome_test.moc"
