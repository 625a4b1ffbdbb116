// The LED page's lists and its step dialog, in the window against the simulated card.
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include "cardwork/presenter/view_rules.h"
#include "tests/app/window_fixture.h"

using namespace cardwright;
using testsupport::WindowUnderTest;

namespace {

// The step list, one "colour time" text per row.
QStringList Rows(WindowUnderTest& t) {
    auto* steps = t.Widget<QTreeWidget>("ListView1");
    QStringList rows;
    for (int row = 0; row < steps->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = steps->topLevelItem(row);
        rows << item->text(0) + QLatin1Char(' ') + item->text(1);
    }
    return rows;
}

void ClickStatus(WindowUnderTest& t, int status) {
    t.Widget<QTabWidget>("PageControl1")->setCurrentWidget(t.Widget<QWidget>("LedSheet"));
    auto* statuses = t.Widget<QTreeWidget>("ListView2");
    const QRect rect = statuses->visualItemRect(statuses->topLevelItem(status - 1));
    QTest::mouseClick(statuses->viewport(), Qt::LeftButton, {}, rect.center());
    t.Settle();
}

}  // namespace

class LedPageTest : public QObject {
    Q_OBJECT

  private slots:
    void theDialogOffersAndTakesOnlyTimesTheCardCanHold() {
        WindowUnderTest t;
        auto& dialog = *t.w().findChild<TLedSettingFrm*>();
        QCOMPARE(dialog.LedColorComboBox->count(), 8);
        QCOMPARE(dialog.LedIntervalComb0Box->findText(QStringLiteral("200")), 16);
        QCOMPARE(dialog.LedIntervalComb0Box->findText(QStringLiteral("500")), -1);

        dialog.Preset({2, 5});
        dialog.open();
        dialog.LedIntervalComb0Box->setEditText(QStringLiteral("500"));
        dialog.OKBtn->click();
        auto* refusal = dialog.findChild<QMessageBox*>(QStringLiteral("BadTimeBox"));
        QVERIFY(refusal != nullptr && refusal->isVisible());
        QCOMPARE(refusal->text(), QString::fromLatin1(kBadLedTimeMessage.data()));
        QVERIFY2(dialog.isVisible(), "the dialog stays for another time");
        refusal->button(QMessageBox::Ok)->click();
        dialog.LedIntervalComb0Box->setEditText(QStringLiteral("20"));
        dialog.OKBtn->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Step(), (LedStep{2, 20}));
    }

    // A double-click on a step opens the dialog on it; its OK changes the row and the table,
    // which the next Write sends.
    void editingAStepThroughTheDialog() {
        WindowUnderTest t;
        ClickStatus(t, 5);
        QCOMPARE(Rows(t).mid(0, 3), (QStringList{"Red 2", "Off 2", "Blue 2"}));
        t.answers.answer_led = [](TLedSettingFrm& dialog) {
            dialog.LedColorComboBox->setCurrentIndex(4);
            dialog.LedIntervalComb0Box->setEditText(QStringLiteral("20"));
            dialog.OKBtn->click();
        };
        auto* steps = t.Widget<QTreeWidget>("ListView1");
        steps->topLevelItem(1)->setSelected(true);
        emit steps->itemDoubleClicked(steps->topLevelItem(1), 0);
        t.Settle();
        QCOMPARE(Rows(t)[1], QStringLiteral("青色 20"));
        t.Click("WriteToDataCardBtn");
        const auto second = *t.card().Nv(50013);
        QCOMPARE(std::vector<uint8_t>(second.begin() + 2, second.begin() + 4),
                 (std::vector<uint8_t>{0x03, 0x14}));  // cyan (NV bits 3), 20
    }
};

QTEST_MAIN(LedPageTest)
#include "led_page_test.moc"
