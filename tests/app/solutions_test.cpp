#include <QCheckBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <fstream>

#include "app/new_sul_unit.h"
#include "tests/app/window_fixture.h"

using namespace cardwright;
using testsupport::Shown;
using testsupport::WindowSetup;
using testsupport::WindowUnderTest;

namespace {

// A window whose config_value.ini is `values`.
WindowSetup WithValues(const std::string& values) {
    return WindowSetup{testsupport::TestProfile(), [values](const std::filesystem::path& folder) {
                           std::ofstream(folder / "config_value.ini", std::ios::trunc) << values;
                       }};
}

bool LedTabShown(TMainFrm& w) {
    return w.PageControl1->isTabVisible(w.PageControl1->indexOf(w.LedSheet));
}

QStringList Entries(TMainFrm& w) {
    QStringList entries;
    for (int i = 0; i < w.ComboBox1->count(); ++i) {
        entries.append(w.ComboBox1->itemText(i));
    }
    return entries;
}

}  // namespace

class SolutionsTest : public QObject {
    Q_OBJECT

  private slots:
    void theCardSolutionAndItsLedFlag() {
        struct Case {
            const char* values;
            bool led;
        } cases[] = {
            {"[MAIN]\ncurrent=DEFAULT\n[DEFAULT]\nConfigLed=1\n", true},
            {"[MAIN]\ncurrent=DEFAULT\n[DEFAULT]\nConfigLed=0\n", false},
            {"[MAIN]\ncurrent=default\n[Default]\nOther=1\n", true},  // no flag: true
        };
        for (const auto& c : cases) {
            WindowUnderTest t(WithValues(c.values));
            TMainFrm& w = t.w();
            QVERIFY2(t.Log().contains(QStringLiteral("Read from datacard succeed...")), c.values);
            QCOMPARE(LedTabShown(w), c.led);
            QCOMPARE(w.ConfigLed, c.led);
            QCOMPARE(t.Log().contains(QStringLiteral("Read LED info from datacard...")), c.led);
            t.card().ClearRequests();
            w.WriteToDataCardBtnClick();
            const auto writes = t.NvWrites();
            QCOMPARE(std::count(writes.begin(), writes.end(), 50012) == 1, c.led);
        }
    }

    void aStoredSolutionIsShownWithoutTheCard() {
        WindowUnderTest t(
            WithValues("[MAIN]\ncurrent=Stored\n[DEFAULT]\nConfigLed=1\n[Stored]\nB_LOW=7\n"
                       "BAND=3|48|9\nLED_STATUS2=4,3|\n"));
        TMainFrm& w = t.w();
        QVERIFY(t.card().Requests().empty());
        QCOMPARE(Entries(w), (QStringList{"DEFAULT", "Stored"}));
        QCOMPARE(w.ComboBox1->currentText(), QStringLiteral("Stored"));
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("7"));
        QCOMPARE(Shown(w, "BAND"), QStringLiteral("Asia"));
        QCOMPARE(w.LedInfo.Step(2, 1).colour, 4);
        QCOMPARE(w.LedInfo.Step(1, 1).colour, 0);  // a missing line clears its row
        QCOMPARE(w.LedInfo.From(), LedTable::Source::kLoaded);

        // Choosing the card solution reads the card.
        w.ComboBox1->setCurrentIndex(0);
        w.ComboBox1Change();
        QVERIFY(t.Log().contains(QStringLiteral("Read from datacard succeed...")));

        QCOMPARE(Shown(w, "BAND"), QStringLiteral("America"));
    }

    // Solutions are written by hand: a typo costs its own key, and everything else loads.
    void aStoredValueThatIsNoNumberLeavesOnlyItsItemEmpty() {
        WindowUnderTest t(
            WithValues("[MAIN]\ncurrent=Bad\n[Bad]\nB_LOW=7\nBAND=1|x|7\nTIMER=60O\n"
                       "B_HIGH=300\nLED_STATUS1=2,5|\n"));
        TMainFrm& w = t.w();
        const QStringList skipped = t.Log().filter(QStringLiteral("is not a decimal integer"));
        QCOMPARE(skipped,
                 (QStringList{"Value of BAND \"1|x|7\" is not a decimal integer: left empty...",
                              "Value of TIMER \"60O\" is not a decimal integer: left empty..."}));
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("7"));
        QCOMPARE(Shown(w, "B_HIGH"), QStringLiteral("300"));
        QCOMPARE(Shown(w, "BAND"), QString());
        QCOMPARE(Shown(w, "TIMER"), QString());
        QCOMPARE(w.LedInfo.Step(1, 1).colour, 2);
        QVERIFY(w.LedInfo.Writable());
        QCOMPARE(w.StatusBar1->currentMessage(),
                 QStringLiteral("Stored solution Bad shown, no card read"));
        QCOMPARE(w.windowTitle(),
                 QStringLiteral("Cardwright - Stored solution Bad (no card read)"));
    }

    // A read of the card solution that fails while the chooser was changed meanwhile: the
    // solution it began with is selected and loaded again (the card read once more).
    void aFailedReadSelectsTheRememberedSolutionAgain() {
        WindowUnderTest t(WindowSetup{std::nullopt, {}});
        TMainFrm& w = t.w();
        const qsizetype before = t.Log().size();
        bool changed = false;
        QTimer meanwhile;
        QObject::connect(&meanwhile, &QTimer::timeout, &w, [&] {
            if (!changed &&
                w.StatusBar1->currentMessage() == QStringLiteral("Opening the card...")) {
                changed = true;
                w.ComboBox1->setCurrentIndex(w.ComboBox1->findText(QStringLiteral("Bench")));
            }
        });
        meanwhile.start(0);
        w.ReadFromDataCardBtnClick();
        QVERIFY(changed);
        QCOMPARE(t.Log().mid(before),
                 (QStringList{"Init port failed", "Failed to read data from datacard...",
                              "Init port failed", "Failed to read data from datacard..."}));
        QCOMPARE(w.ComboBox1->currentText(), QStringLiteral("DEFAULT"));
    }

    void withoutMainNothingIsLoadedOrRead() {
        WindowUnderTest t(WithValues("[DEFAULT]\nConfigLed=1\n[Other]\nB_LOW=7\n"));
        TMainFrm& w = t.w();
        QCOMPARE(w.ComboBox1->currentIndex(), -1);
        QVERIFY(t.card().Requests().empty());
        QCOMPARE(Shown(w, "B_LOW"), QString());
    }

    void newSolutions() {
        WindowUnderTest t(WithValues("[MAIN]\ncurrent=DEFAULT\n[DEFAULT]\nConfigLed=1\n"));
        TMainFrm& w = t.w();
        QString typed;
        bool led = false;
        bool confirm = true;
        t.prompts().answer_new_solution = [&](TNewSoluationFrm& dialog) {
            dialog.Edit1->setText(typed);
            dialog.CheckBox1->setChecked(led);
            return confirm;
        };
        typed = QStringLiteral("default");
        w.NewBtnClick();
        QCOMPARE(t.prompts().messages, QStringList{"The soluation name had exists..."});

        for (const QString& nothing : {QStringLiteral("   "), QStringLiteral("Field")}) {
            typed = nothing;
            confirm = nothing.trimmed().isEmpty();  // a blank name, then a cancelled dialog
            w.NewBtnClick();
        }
        QCOMPARE(Entries(w), QStringList{"DEFAULT"});

        typed = QStringLiteral("  Field  ");
        confirm = true;
        t.card().ClearRequests();
        w.NewBtnClick();
        QCOMPARE(Entries(w), (QStringList{"DEFAULT", "Field"}));
        QCOMPARE(w.ComboBox1->currentText(), QStringLiteral("Field"));
        QCOMPARE(w.Values().ReadString("MAIN", "current", ""), std::string("Field"));
        QCOMPARE(w.Values().ReadString("Field", "ConfigLed", ""), std::string("0"));
        QVERIFY(!LedTabShown(w));
        QCOMPARE(Shown(w, "B_LOW"), QString());
        QVERIFY(t.card().Requests().empty());
    }

    void deletingSolutions() {
        WindowUnderTest t(
            WithValues("[MAIN]\ncurrent=Second\n[DEFAULT]\nConfigLed=1\n[First]\nB_LOW=9\n[Second]"
                       "\nB_LOW=7\n"));
        TMainFrm& w = t.w();
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("7"));
        w.DelBtnClick();
        QCOMPARE(Entries(w), (QStringList{"DEFAULT", "First"}));
        QVERIFY(!w.Values().SectionExists("Second"));
        QCOMPARE(w.Values().ReadString("MAIN", "current", ""), std::string("Second"));
        QCOMPARE(w.ComboBox1->currentText(), QStringLiteral("DEFAULT"));  // the first entry
        QVERIFY(t.Log().contains(QStringLiteral("Read from datacard succeed...")));

        w.DelBtnClick();  // DEFAULT stays
        QCOMPARE(Entries(w), (QStringList{"DEFAULT", "First"}));
    }
};

QTEST_MAIN(SolutionsTest)
#include "solutions_test.moc"
