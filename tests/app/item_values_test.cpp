#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QtTest>

#include "app/item_check_box.h"
#include "tests/app/window_fixture.h"

using namespace cardwright;
using testsupport::WindowUnderTest;

using testsupport::Show;
using testsupport::Shown;
using testsupport::Ticked;

class ItemValuesTest : public QObject {
    Q_OBJECT

  private slots:
    // What a box shows for a text, and the tick and enabled state that follow from it.
    void showingATextInABox() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        // A pick-only box folds a to z only and shows nothing without a match; a user-input box
        // takes any text.
        Show(w, "ACQ_ORDER", "gsm FIRST");
        QCOMPARE(Shown(w, "ACQ_ORDER"), QStringLiteral("GSM first"));
        QVERIFY(Ticked(w, "ACQ_ORDER") && w.ValueBox("ACQ_ORDER")->isEnabled());
        Show(w, "ACQ_ORDER", "Nowhere");
        QCOMPARE(w.ValueBox("ACQ_ORDER")->currentIndex(), -1);
        QVERIFY(!Ticked(w, "ACQ_ORDER"));
        Show(w, "B_LOW", "abc");
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("abc"));
        QVERIFY(Ticked(w, "B_LOW"));
        for (const char* unmarked : {"1", "DeFault", "  "}) {
            Show(w, "B_LOW", unmarked);
            QVERIFY2(!Ticked(w, "B_LOW") && !w.ValueBox("B_LOW")->isEnabled(), unmarked);
        }
    }

    void validationRefusesNumbersTheTypeCannotHold() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const struct {
            const char* name;
            const char* text;
            const char* last_line;
        } cases[] = {
            {"B_LOW", "300", "Low byte:  is not valid..."},
            {"B_LOW", "dEfAuLt", "Data valid check OK..."},
            {"B_HIGH", "70000", "High word:  is not valid..."},
            {"TIMER", "-1", "Data valid check OK..."},
            {"B_LOW", "", "Low byte:  was NULL..."},
        };
        for (const auto& c : cases) {
            w.ClearAllValues();
            w.ResetUncheckedItems();
            Show(w, c.name, c.text);
            w.LabelBox(c.name)->setChecked(true);
            QCOMPARE(w.ValidateItems(), QByteArray(c.last_line).startsWith("Data"));
            QCOMPARE(t.Log().last(), QString::fromLatin1(c.last_line));
        }
    }

    void clearingAndResettingTheValues() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        Show(w, "B_LOW", "9");
        Show(w, "ACQ_ORDER", "GSM first");
        w.ClearAllValues();
        for (const TConfigItem& item : w.ConfigItems) {
            if (QComboBox* box = w.ValueBox(item.Name)) {
                QVERIFY2(box->currentText().isEmpty() && !box->isEnabled(), item.Name.c_str());
                QVERIFY2(!w.LabelBox(item.Name)->isChecked(), item.Name.c_str());
            }
        }
        Show(w, "B_LOW", "9");
        w.ResetUncheckedItems();
        QCOMPARE(Shown(w, "B_LOW"), QStringLiteral("9"));
        QCOMPARE(Shown(w, "ACQ_ORDER"), QStringLiteral("Automatic"));
        QCOMPARE(Shown(w, "MODE"), QStringLiteral("DEFAULT"));
        QVERIFY(!Ticked(w, "ACQ_ORDER"));
    }

    void captionsStayInFrontOfTheValueBox() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        for (const TConfigItem& item : w.ConfigItems) {
            auto* label = qobject_cast<ItemCheckBox*>(w.LabelBox(item.Name));
            if (label == nullptr) {
                continue;
            }
            QVERIFY2(label->CaptionEnd() <= 120, item.Name.c_str());
            // Nothing of the box's own painting reaches under the value box.
            const QImage image = label->grab().toImage();
            const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
            for (int x = 120; x < image.width(); ++x) {
                for (int y = 0; y < image.height(); ++y) {
                    QVERIFY2(image.pixel(x, y) == background, item.Name.c_str());
                }
            }
        }
        auto* acquisition = qobject_cast<ItemCheckBox*>(w.LabelBox("ACQ_ORDER"));
        QCOMPARE(acquisition->ShownCaption(), QStringLiteral("Acquisition order: "));
        QCOMPARE(acquisition->font().pointSizeF(), ItemControlFont().pointSizeF());
        auto* long_caption = qobject_cast<ItemCheckBox*>(w.LabelBox("LONG_CAPTION"));
        QCOMPARE(long_caption->text(), QStringLiteral("Preferred network selection order: "));
        QVERIFY(long_caption->ShownCaption().endsWith(QChar(0x2026)));
        QCOMPARE(long_caption->toolTip(), long_caption->text());
        QCOMPARE(long_caption->font().pointSizeF(), ItemControlFont().pointSizeF());

        ItemCheckBox shrunk(QStringLiteral("Network adapter port: "), 120, nullptr);
        QVERIFY(shrunk.font().pointSizeF() < ItemControlFont().pointSizeF());
        QCOMPARE(shrunk.ShownCaption(), shrunk.text());
        QVERIFY(shrunk.CaptionEnd() <= 120);
        QVERIFY(shrunk.toolTip().isEmpty());
    }
};

QTEST_MAIN(ItemValuesTest)
#include "item_values_test.moc"
