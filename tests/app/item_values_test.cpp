#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QtTest>

#include "app/item_check_box.h"
#include "tests/app/window_fixture.h"

using namespace cardwright;
using testsupport::TestProfile;
using testsupport::WindowUnderTest;

using testsupport::Nv;
using testsupport::Show;
using testsupport::Shown;
using testsupport::Ticked;

class ItemValuesTest : public QObject {
    Q_OBJECT

  private slots:
    void showsEveryKindOfItemFromItsNvData() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        const struct {
            const char* name;
            const char* shown;
            bool ticked;
        } cases[] = {
            {"B_LOW", "7", true},
            {"B_FLAG", "Yes", true},
            {"B_HIGH", "300", true},
            {"BAND_EXTRA", "On", true},
            {"NOTE", "Short", false},      // STRING moves no byte: 0
            {"UNTYPED", "Zero", false},    // neither does an empty TYPE
            {"LIMIT", "Unlimited", true},  // FF FF FF FF is -1
            {"TIMER", "3600", false},
            {"MODE", "DEFAULT", false},
            {"ACQ_ORDER", "WCDMA first", true},
            {"BIT_A", "On", true},
            {"BIT_B", "Off", false},
            {"BIT_HIDDEN", "On", true},
            {"LED_LEVEL", "High", false},
        };
        for (const auto& c : cases) {
            const TConfigItem& item = *w.FindItem(c.name);
            const auto data = t.card().Nv(static_cast<uint16_t>(*NvItemNumber(item.NvId)));
            QVERIFY2(data && w.ShowNvValue(item, *data), c.name);
            QCOMPARE(Shown(w, c.name), QString::fromUtf8(c.shown));
            QVERIFY2(Ticked(w, c.name) == c.ticked, c.name);
            QVERIFY2(w.ValueBox(c.name)->isEnabled() == c.ticked, c.name);
        }
        w.ShowNvDefault(*w.FindItem("INACTIVE"));
        QCOMPARE(Shown(w, "INACTIVE"), QStringLiteral("On"));
        QVERIFY(!Ticked(w, "INACTIVE"));

        // A pick-only box folds a to z only and shows nothing without a match; a user-input box
        // takes any text.
        Show(w, "ACQ_ORDER", "gsm FIRST");
        QCOMPARE(Shown(w, "ACQ_ORDER"), QStringLiteral("GSM first"));
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

    void readsMultiValueItemsAndTheDeviceState() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        QVERIFY(t.Open());
        int32_t status = -1;
        QCOMPARE(w.ReadMultiValueItem(*w.FindItem("BAND"), status), ItemOutcome::kDone);
        QCOMPARE(Shown(w, "BAND"), QStringLiteral("America"));
        QVERIFY(Ticked(w, "BAND"));

        QVERIFY(w.ReadDeviceState());
        QCOMPARE(Shown(w, "DEVICE_STATE_INFO"), QStringLiteral("Debug"));
        QCOMPARE(Shown(w, "PORT_X"), QStringLiteral("On"));  // bit 2 of 0x14
        QCOMPARE(Shown(w, "PORT_Y"), QStringLiteral("On"));  // bit 4

        // The second NV item is not on the card: what was read is the value text "(#2)".
        auto profile = TestProfile();
        profile.nv.erase(60011);
        profile.inactive.insert(60011);
        t.StartCard(profile);
        QVERIFY(t.Open());
        w.ValueBox("BAND")->addItem(QStringLiteral("First only"));
        TConfigItem probe = *w.FindItem("BAND");
        probe.Range += ",First only";
        probe.RangeValue += ",(#2)";
        QCOMPARE(w.ReadMultiValueItem(probe, status), ItemOutcome::kFailed);
        QCOMPARE(status, 5);
        QCOMPARE(Shown(w, "BAND"), QStringLiteral("First only"));
        QCOMPARE(w.ReadMultiValueItem(*w.FindItem("BAND"), status), ItemOutcome::kFailed);
        QCOMPARE(Shown(w, "BAND"), QString());
        QVERIFY(!Ticked(w, "BAND"));
    }

    void writesComposeEveryItemSharingTheNvItem() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        for (const auto& [name, text] : {std::pair{"B_LOW", "9"},
                                         {"B_FLAG", "Yes"},
                                         {"B_HIGH", "4660"},
                                         {"BAND", "Asia"},
                                         {"BAND_EXTRA", "On"},
                                         {"BIT_A", "On"},
                                         {"BIT_B", "On"},
                                         {"BIT_HIDDEN", "On"},
                                         {"LIMIT", "Unlimited"},
                                         {"MODE", "DEFAULT"}}) {
            Show(w, name, text);
        }
        QVERIFY(t.Open());
        QCOMPARE(w.WriteItem(*w.FindItem("B_HIGH")), ItemOutcome::kDone);
        // Each value goes in with the record's TYPE (a word): the flag's high byte lands on 2,
        // which the word itself, coming later, overwrites.
        QCOMPARE(Nv(t, 60000, 5), (std::vector<uint8_t>{0x09, 0x01, 0x34, 0x12, 0x00}));

        QCOMPARE(w.WriteMultiValueItem(*w.FindItem("BAND")), ItemOutcome::kDone);
        QCOMPARE(Nv(t, 60010, 2), (std::vector<uint8_t>{3, 0}));
        QCOMPARE(Nv(t, 60011, 4), (std::vector<uint8_t>{48, 0, 1, 0}));
        QCOMPARE(Nv(t, 60012, 3), (std::vector<uint8_t>{0, 9, 0}));

        QCOMPARE(w.WriteItem(*w.FindItem("BIT_B")), ItemOutcome::kDone);
        QCOMPARE(Nv(t, 60050, 2), (std::vector<uint8_t>{0b1011, 0}));
        w.NewVersion = true;
        QCOMPARE(w.WriteItem(*w.FindItem("BIT_A")), ItemOutcome::kDone);
        QCOMPARE(Nv(t, 60050, 1), std::vector<uint8_t>{0b0001});
        w.NewVersion = false;

        QCOMPARE(w.WriteItem(*w.FindItem("BIT_HIDDEN")), ItemOutcome::kDone);
        QCOMPARE(w.WriteItem(*w.FindItem("MODE")), ItemOutcome::kDone);
        QCOMPARE(w.WriteItem(*w.FindItem("LIMIT")), ItemOutcome::kDone);
        QCOMPARE(Nv(t, 60030, 5), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0}));
        QCOMPARE(t.NvWrites(),
                 (std::vector<uint16_t>{60000, 60010, 60011, 60012, 60050, 60050, 60030}));
        QVERIFY(t.Log().contains(QStringLiteral("High word:  Write OK...")));
        QCOMPARE(t.Log().filter(QStringLiteral("Band:  Write OK...")).size(), 3);
        QVERIFY(t.Log().filter(QStringLiteral("Mode:  Write")).isEmpty());
    }

    void unchangedItemsTheCardLacksAreLeftAlone() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        TConfigItem& inactive = *w.FindItem("INACTIVE");
        inactive.OnCard = false;
        w.ShowNvDefault(inactive);
        QVERIFY(t.Open());
        QCOMPARE(w.WriteItem(inactive), ItemOutcome::kDone);
        QVERIFY(t.NvWrites().empty());
        Show(w, "INACTIVE", "Off");
        QCOMPARE(w.WriteItem(inactive), ItemOutcome::kFailed);
        QCOMPARE(t.NvWrites(), std::vector<uint16_t>{60060});
        QCOMPARE(t.Log().mid(t.Log().size() - 2),
                 (QStringList{"Inactive:  Write OK...", "Inactive:  Write Failed..."}));
    }

    void writesThePortSettingOnce() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        Show(w, "DEVICE_STATE_INFO", "Factory");
        Show(w, "PORT_X", "Off");
        Show(w, "PORT_Y", "On");
        QVERIFY(t.Open());
        QCOMPARE(w.WriteItem(*w.FindItem("PORT_X")), ItemOutcome::kDone);
        QVERIFY(w.PortSettingWritten);
        QCOMPARE(w.WriteItem(*w.FindItem("DEVICE_STATE_INFO")), ItemOutcome::kDone);
        QCOMPARE(t.card().PortSetting(), (std::pair<uint8_t, uint8_t>{2, 16}));
        int port_sets = 0;
        for (const auto& request : t.card().Requests()) {
            port_sets += request.command == cardsim::Command::kPortSet ? 1 : 0;
        }
        QCOMPARE(port_sets, 1);
        QCOMPARE(t.Log().mid(t.Log().size() - 3),
                 (QStringList{"Write port setting succeed...", "Port X:  Write OK...",
                              "Device state:  Write OK..."}));
    }

    void descriptionsThatCannotBeUsedAreNamed() {
        WindowUnderTest t;
        TMainFrm& w = t.w();
        Show(w, "B_HIGH", "300");
        Show(w, "BAND", "Asia");
        TConfigItem bad_offset = *w.FindItem("B_HIGH");
        bad_offset.NvByte = "2x";
        QVERIFY(!w.ShowNvValue(bad_offset, NvData{}));
        QCOMPARE(t.Log().last(),
                 QStringLiteral("Item B_HIGH: NV_BYTE \"2x\" is not a usable number..."));

        QVERIFY(t.Open());
        QCOMPARE(w.WriteItem(bad_offset), ItemOutcome::kBroken);
        QCOMPARE(t.Log().last(), QStringLiteral("High word:  Write Failed..."));
        TConfigItem bad_id = *w.FindItem("B_HIGH");
        bad_id.NvId = "6000O";
        QCOMPARE(w.WriteItem(bad_id), ItemOutcome::kBroken);
        QVERIFY(t.Log().contains(
            QStringLiteral("Item B_HIGH: NV_ID \"6000O\" is not a usable number...")));

        TConfigItem band = *w.FindItem("BAND");
        band.NvId = "(#60010#6001l#60012)";
        int32_t status = 0;
        QCOMPARE(w.ReadMultiValueItem(band, status), ItemOutcome::kBroken);
        QCOMPARE(t.Log().last(),
                 QStringLiteral("Item BAND: NV_ID \"6001l\" is not a usable number..."));
        QCOMPARE(w.WriteMultiValueItem(band), ItemOutcome::kBroken);
        QCOMPARE(t.NvWrites(), std::vector<uint16_t>{60010});  // up to the broken field

        band.NvId = "(#60010#60011#60012)";
        band.NvByte = "0";  // no field list: the single records keep the item's own texts
        QCOMPARE(w.WriteMultiValueItem(band), ItemOutcome::kBroken);
        QCOMPARE(t.Log().mid(t.Log().size() - 3),
                 (QStringList{"get Single_NV_ID is error...",
                              "Item BAND: NV_ID \"(#60010#60011#60012)\" is not a usable number...",
                              "Band:  Write Failed..."}));

        TConfigItem gone = *w.FindItem("B_LOW");
        gone.Name = "GONE";
        gone.AlongPage = "PAGE_TYPO";
        QCOMPARE(w.WriteItem(gone), ItemOutcome::kFailed);
        QCOMPARE(t.Log().last(), QStringLiteral("Low byte:  Write Failed: item GONE has no value "
                                                "box, its page PAGE_TYPO was not built..."));
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
