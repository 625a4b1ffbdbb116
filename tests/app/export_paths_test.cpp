#include <QComboBox>
#include <QtTest>

#include "tests/app/window_fixture.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"

using namespace cardwright;
using testsupport::WindowUnderTest;

namespace {

QString Path(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// The test card, of the older firmware generation or of the newer one.
cardsim::CardProfile Profile(bool new_version) {
    cardsim::CardProfile profile = testsupport::TestProfile();
    profile.new_version_mark = new_version ? 0x68 : 0x00;
    return profile;
}

// The line carvexctl prints of the items a file leaves to their defaults.
std::string DefaultsLine(const std::string& out) {
    const size_t at = out.find(" left to ");
    if (at == std::string::npos) {
        return {};
    }
    const size_t start = out.rfind('\n', at) + 1;
    return out.substr(start, out.find('\n', at) - start);
}

}  // namespace

// A setting file saved by the window's Export and by carvexctl export holds the same bytes, its
// seal included: from a card, and from a stored solution for the card type and generation of a
// card that is no longer attached.
class ExportPathsTest : public QObject {
    Q_OBJECT

  private slots:
    void theWindowAndCarvexctlExportACardAlike() {
        for (const bool new_version : {false, true}) {
            WindowUnderTest t({.card = Profile(new_version), .prepare = {}});
            t.answers.save_file = Path(t.Dir() / "window.ini");
            t.Click("ExportBtn");
            const std::string by_window = testsupport::Contents(t.Dir() / "window.ini");
            QVERIFY(by_window.find("[CRC]") != std::string::npos);
            QCOMPARE(by_window.find("[VERSION]") != std::string::npos, new_version);

            const testsupport::CardUnderTest other(Profile(new_version));
            const auto out = t.Dir() / "carvexctl";
            const auto run = testsupport::RunProgram(
                CARVEXCTL, {"export", out.string(), "--from-card", "--description", Description(t)},
                {"CARVEX_ROOT=" + other.card->Root().Path().string()});
            QVERIFY2(run.exit_code == 0, run.err.c_str());
            QCOMPARE(testsupport::Contents(t.Dir() / "carvexctl.ini"), by_window);
            QVERIFY2(
                run.out.starts_with("exported to " + out.string() + ".ini (card type LW-X4201, "),
                run.out.c_str());
            // verify says the same of the file as the export that made it.
            const auto verified = testsupport::RunProgram(
                CARVEXCTL,
                {"verify", (t.Dir() / "carvexctl.ini").string(), "--description", Description(t)},
                {});
            QVERIFY2(verified.exit_code == 0, verified.out.c_str());
            QVERIFY(!DefaultsLine(run.out).empty());
            QCOMPARE(DefaultsLine(verified.out), DefaultsLine(run.out));
        }
    }

    // The window reads a card, the solution is chosen, the card is pulled out: Export saves the
    // solution's values for that card's type and generation, as carvexctl does when told them.
    void theWindowAndCarvexctlExportASolutionAlike() {
        for (const bool new_version : {false, true}) {
            WindowUnderTest t({.card = Profile(new_version), .prepare = {}});
            auto* solutions = t.Widget<QComboBox>("ComboBox1");
            const int bench = solutions->findText(QStringLiteral("Bench"));
            solutions->setCurrentIndex(bench);
            emit solutions->activated(bench);  // as when the user picks it
            t.Settle();
            t.PullCard();
            t.answers.save_file = Path(t.Dir() / "window.ini");
            t.Click("ExportBtn");
            const std::string by_window = testsupport::Contents(t.Dir() / "window.ini");
            QVERIFY2(by_window.find("B_LOW=9") != std::string::npos || new_version,
                     by_window.c_str());

            // A card plugged in is not asked: the values are the solution's.
            const testsupport::CardUnderTest plugged(Profile(!new_version));
            const auto out = t.Dir() / "carvexctl.ini";
            const auto run = testsupport::RunProgram(
                CARVEXCTL,
                {"export", out.string(), "--values", (t.Dir() / "config_value.ini").string(),
                 "--section", "Bench", "--card-type", "LW-X4201", "--new-version",
                 new_version ? "yes" : "no"},
                {"CARVEX_ROOT=" + plugged.card->Root().Path().string()});
            QVERIFY2(run.exit_code == 0, run.err.c_str());
            QCOMPARE(testsupport::Contents(out), by_window);
            QVERIFY(plugged.card->Requests().empty());
            QVERIFY(!DefaultsLine(run.out).empty());
        }
    }

  private:
    static std::string Description(WindowUnderTest& t) {
        return (t.Dir() / "Config_Info.ini").string();
    }
};

QTEST_MAIN(ExportPathsTest)
#include "export_paths_test.moc"
