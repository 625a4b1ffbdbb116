#include <QComboBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "tests/app/window_fixture.h"

using namespace cardwright;
using testsupport::TestProfile;
using testsupport::WindowUnderTest;

namespace {

const QString kEnd = QStringLiteral("-- --");
constexpr const char* kClearedLine = "0,0|0,0|0,0|0,0|0,0|0,0|0,0|0,0|0,0|0,0|";

// The step list, one "colour time" text per row.
QStringList Rows(TMainFrm& w) {
    QStringList rows;
    for (int row = 0; row < w.ListView1->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = w.ListView1->topLevelItem(row);
        rows << item->text(0) + QLatin1Char(' ') + item->text(1);
    }
    return rows;
}

QStringList Steps(std::initializer_list<const char*> shown) {
    QStringList rows;
    for (const char* row : shown) {
        rows << QString::fromLatin1(row);
    }
    while (rows.size() < kLedSteps) {
        rows << kEnd;
    }
    return rows;
}

void ClickStatus(TMainFrm& w, int status) {
    w.PageControl1->setCurrentWidget(w.LedSheet);
    QTreeWidgetItem* item = w.ListView2->topLevelItem(status - 1);
    const QRect rect = w.ListView2->visualItemRect(item);
    QVERIFY(w.ListView2->viewport()->rect().contains(rect));
    QTest::mouseClick(w.ListView2->viewport(), Qt::LeftButton, {}, rect.center());
}

void SelectStep(TMainFrm& w, int step) {
    w.ListView1->clearSelection();
    w.ListView1->topLevelItem(step - 1)->setSelected(true);
}

// Answers the step dialog: sets what is given and presses OK.
std::function<bool(TLedSettingFrm&)> Answer(int colour_index, const char* time) {
    return [colour_index, time](TLedSettingFrm& dialog) {
        if (colour_index >= 0) {
            dialog.LedColorComboBox->setCurrentIndex(colour_index);
        }
        if (time != nullptr) {
            dialog.LedIntervalComb0Box->setEditText(QString::fromLatin1(time));
        }
        dialog.OKBtn->click();
        return dialog.result() == QDialog::Accepted;
    };
}

}  // namespace

class LedPageTest : public QObject {
    Q_OBJECT

  private slots:
    void dialogOffersOnlyTimesTheCardCanHold() {
        WindowUnderTest t;
        const TLedSettingFrm& dialog = *t.w().LedSettingFrm;
        QCOMPARE(dialog.LedColorComboBox->count(), 8);
        QCOMPARE(dialog.LedIntervalComb0Box->currentText(), QStringLiteral("1"));
        QCOMPARE(dialog.LedIntervalComb0Box->findText(QStringLiteral("200")), 16);
        QCOMPARE(dialog.LedIntervalComb0Box->findText(QStringLiteral("500")), -1);
        QCOMPARE(dialog.LedIntervalComb0Box->findText(QStringLiteral("1000")), -1);
    }

    void readingShowsThePatternsAndKnowsWhatItHolds() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        QVERIFY(t.Open());
        QVERIFY(w.ReadLedInfo());
        QCOMPARE(t.Log().last(), QStringLiteral("Read LED info from datacard..."));
        QCOMPARE(w.LedInfo.From(), LedTable::Source::kCard);
        ClickStatus(w, 1);
        QCOMPARE(Rows(w), Steps({"Blue 5", "Off 5"}));
        w.ListView2->setCurrentItem(w.ListView2->topLevelItem(3));
        QCOMPARE(Rows(w), Steps({}));
        QCOMPARE(w.LedInfo.Step(4, 7), (LedStep{1, 0}));
        ClickStatus(w, 6);
        QCOMPARE(Rows(w), Steps({"Yeallow 5", "Off 5"}));
        ClickStatus(w, 7);
        QCOMPARE(Rows(w), Steps({"Violet 1", "Off 9"}));
        QCOMPARE(w.LedStatusLine(1), std::string("2,5|1,5|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|"));

        // Only the first of the two items read: the page shows what came, but Write leaves the
        // card's patterns alone.
        auto profile = TestProfile();
        profile.nv.erase(50013);
        profile.inactive.insert(50013);
        t.StartCard(profile);
        w.ClearAllValues();
        QCOMPARE(Rows(w), QStringList(kLedSteps, kEnd));
        QVERIFY(t.Open());
        QVERIFY(!w.ReadLedInfo());
        QCOMPARE(w.LedInfo.Step(1, 1), (LedStep{2, 5}));
        QCOMPARE(w.LedInfo.Step(5, 1), LedStep{});
        QVERIFY(!w.LedInfo.Writable());
        t.card().ClearRequests();
        QVERIFY(w.WriteLedInfo());
        QVERIFY(t.NvWrites().empty());
        QVERIFY(t.Log().last().startsWith(QStringLiteral("LED settings left unchanged")));
    }

    void writingSendsTheSecondItemOnlyAfterTheFirst() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        w.LoadLedInfo("Bench");
        QVERIFY(t.Open());
        QVERIFY(w.WriteLedInfo());
        QCOMPARE(t.NvWrites(), (std::vector<uint16_t>{50012, 50013}));
        const auto first = *t.card().Nv(50012);
        QCOMPARE(std::vector<uint8_t>(first.begin(), first.begin() + 4),
                 (std::vector<uint8_t>{0x01, 0x05, 0x00, 0x05}));
        QCOMPARE(std::vector<uint8_t>(first.begin() + 40, first.begin() + 46),
                 (std::vector<uint8_t>{0x04, 0x02, 0x00, 0x02, 0x00, 0x03}));
        const auto second = *t.card().Nv(50013);
        QCOMPARE(std::vector<uint8_t>(second.begin(), second.begin() + 5),
                 (std::vector<uint8_t>{0x07, 0xFF, 0x05, 0x00, 0x00}));  // -1 goes as 0

        t.card().SetFault(cardsim::Command::kNvWrite,
                          cardsim::Fault::Make(cardsim::Fault::Kind::kNvStatus, 7));
        t.card().ClearRequests();
        QVERIFY(!w.WriteLedInfo());
        QCOMPARE(t.NvWrites(), std::vector<uint16_t>{50012});
    }

    void editingTheSteps() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        auto& prompts = t.prompts();
        QVERIFY(t.Open());
        QVERIFY(w.ReadLedInfo());
        ClickStatus(w, 5);
        QCOMPARE(Rows(w), Steps({"Red 2", "Off 2", "Blue 2", "Off 2", "Cyan 1"}));

        SelectStep(w, 7);
        w.ModifyLedMenuClick();
        QCOMPARE(prompts.messages, QStringList{"Please set the previous number first..."});
        QCOMPARE(prompts.led_dialogs, 0);

        // OK on an unchanged dialog keeps the step as it was.
        prompts.answer_led = Answer(-1, nullptr);
        SelectStep(w, 1);
        w.ModifyLedMenu->trigger();
        QCOMPARE(prompts.led_dialogs, 1);
        QCOMPARE(w.LedInfo.Step(5, 1), (LedStep{4, 2}));
        QCOMPARE(Rows(w).first(), QStringLiteral("红色 2"));

        prompts.answer_led = Answer(4, "20");
        SelectStep(w, 2);
        emit w.ListView1->itemDoubleClicked(w.ListView1->topLevelItem(1), 0);
        QCOMPARE(w.LedInfo.Step(5, 2), (LedStep{5, 20}));
        QCOMPARE(w.LedInfo.From(), LedTable::Source::kEdited);

        for (const char* refused : {"500", "256", "-1", "abc", ""}) {
            prompts.messages.clear();
            prompts.answer_led = Answer(7, refused);
            w.ModifyLedMenuClick();
            QCOMPARE(prompts.messages, QStringList{TLedSettingFrm::kBadTimeMessage});
            QCOMPARE(w.LedInfo.Step(5, 2), (LedStep{5, 20}));
        }
        prompts.answer_led = [](TLedSettingFrm& dialog) {
            dialog.LedColorComboBox->setCurrentIndex(7);
            dialog.CancelBtn->click();
            return dialog.result() == QDialog::Accepted;
        };
        w.ModifyLedMenuClick();
        QCOMPARE(w.LedInfo.Step(5, 2), (LedStep{5, 20}));

        // Deleting step 2 of five keeps steps 3 to 5, which the rebuilt list no longer shows.
        w.DeleteLedMenuClick();
        QCOMPARE(Rows(w).mid(0, 3), (QStringList{"红色 2", kEnd, "Blue 2"}));
        w.ShowLedSteps();
        QCOMPARE(Rows(w), Steps({"Red 2"}));
        QCOMPARE(w.LedInfo.Step(5, 2), LedStep{});
        QCOMPARE(w.LedInfo.Step(5, 5), (LedStep{5, 1}));
        QVERIFY(w.WriteLedInfo());
        const auto second = *t.card().Nv(50013);
        QCOMPARE(std::vector<uint8_t>(second.begin(), second.begin() + 11),
                 (std::vector<uint8_t>{0x04, 0x02, 0x00, 0x00, 0x01, 0x02, 0x00, 0x02, 0x03, 0x01,
                                       0x00}));

        w.DeleteAllLedMenuClick();
        QCOMPARE(Rows(w), QStringList(kLedSteps, kEnd));
        QCOMPARE(w.LedStatusLine(5), std::string(kClearedLine));
        QCOMPARE(w.LedInfo.Step(6, 1), (LedStep{6, 5}));  // other statuses stay
    }

    void loadingLinesAndRefusingTimesTheCardCannotKeep() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        w.LoadLedInfo("Bench");
        QCOMPARE(w.LedInfo.From(), LedTable::Source::kLoaded);
        QCOMPARE(w.LedStatusLine(1), std::string("2,5|1,5|0,0|0,0|0,0|0,0|0,0|0,0|0,0|0,0|"));
        QCOMPARE(w.LedStatusLine(3), std::string("4,2|0,2|0,3|0,0|0,0|0,0|0,0|0,0|0,0|0,0|"));
        QCOMPARE(w.LedStatusLine(4), std::string(kClearedLine));
        QCOMPARE(w.LedInfo.Step(5, 2), (LedStep{7, -1}));

        w.LoadLedInfo("Missing");
        QCOMPARE(w.LedInfo.Step(1, 1), (LedStep{2, 5}));
        w.LoadLedInfo("NoLed");
        for (int status = 1; status <= kLedStatuses; ++status) {
            QCOMPARE(w.LedStatusLine(status), std::string(kClearedLine));
        }

        w.LoadLedInfo("BadLed");
        w.ConfigLed = true;
        QVERIFY(!w.ValidateItems());
        QCOMPARE(t.Log().last(), QStringLiteral("LED status 6 (HSDPA) step 3: time 500 cannot be "
                                                "kept by the card (0 to 255)..."));
        QVERIFY(t.Open());
        QVERIFY(!w.WriteLedInfo());
        QVERIFY(t.NvWrites().empty());
        w.ConfigLed = false;
        QVERIFY2(w.ValidateItems(), "a table that is not written is not checked");

        w.ClearAllValues();
        QVERIFY(!w.LedInfo.Writable());
        QCOMPARE(w.LedStatusLine(6), std::string(kClearedLine));
    }
};

QTEST_MAIN(LedPageTest)
#include "led_page_test.moc"
