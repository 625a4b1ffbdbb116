// Reading and writing single items without a window: the item kinds, the sharing rules of an NV
// item, multi-value items and the device state.
#include <gtest/gtest.h>

#include "cardwork/card/card_reader.h"
#include "cardwork/card/card_writer.h"
#include "tests/cardwork/card/card_work_fixture.h"

namespace {

using cardwright::CardReader;
using cardwright::CardWriter;
using cardwright::ItemOutcome;
using cardwright::NvData;
using cardwright::TConfigItem;
using testsupport::CardWorkUnderTest;
using testsupport::TestProfile;
using Lines = std::vector<std::string>;

Lines Last(const Lines& lines, size_t count) {
    return Lines(lines.end() - static_cast<std::ptrdiff_t>(std::min(count, lines.size())),
                 lines.end());
}

TEST(ItemWork, ShowsEveryKindOfItemFromItsNvData) {
    CardWorkUnderTest t;
    CardReader reader(t.Seams());
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
        const TConfigItem& item = t.Item(c.name);
        const auto data = t.Card().Nv(static_cast<uint16_t>(*cardwright::NvItemNumber(item.NvId)));
        ASSERT_TRUE(data && reader.ShowNvValue(t.state, item, *data)) << c.name;
        EXPECT_EQ(t.Shown(c.name), c.shown) << c.name;
        EXPECT_EQ(t.Ticked(c.name), c.ticked) << c.name;
    }
    reader.ShowNvDefault(t.state, t.Item("INACTIVE"));
    EXPECT_EQ(t.Shown("INACTIVE"), "On");
    EXPECT_FALSE(t.Ticked("INACTIVE"));

    // A pick-only box folds a to z only and shows nothing without a match; a user-input box
    // takes any text.
    t.Show("ACQ_ORDER", "gsm FIRST");
    EXPECT_EQ(t.Shown("ACQ_ORDER"), "GSM first");
    t.Show("ACQ_ORDER", "Nowhere");
    EXPECT_EQ(t.state.values[t.Index("ACQ_ORDER")].entry, -1);
    EXPECT_FALSE(t.Ticked("ACQ_ORDER"));
    t.Show("B_LOW", "abc");
    EXPECT_EQ(t.Shown("B_LOW"), "abc");
    EXPECT_TRUE(t.Ticked("B_LOW"));
    for (const char* unmarked : {"1", "DeFault", "  "}) {
        t.Show("B_LOW", unmarked);
        EXPECT_FALSE(t.Ticked("B_LOW")) << unmarked;
    }
}

TEST(ItemWork, ReadsMultiValueItemsAndTheDeviceState) {
    CardWorkUnderTest t;
    CardReader reader(t.Seams());
    ASSERT_TRUE(t.Open());
    int32_t status = -1;
    EXPECT_EQ(reader.ReadMultiValueItem(t.state, t.Item("BAND"), status), ItemOutcome::kDone);
    EXPECT_EQ(t.Shown("BAND"), "America");
    EXPECT_TRUE(t.Ticked("BAND"));

    EXPECT_TRUE(reader.ReadDeviceState(t.state));
    EXPECT_EQ(t.Shown("DEVICE_STATE_INFO"), "Debug");
    EXPECT_EQ(t.Shown("PORT_X"), "On");  // bit 2 of 0x14
    EXPECT_EQ(t.Shown("PORT_Y"), "On");  // bit 4

    // The second NV item is not on the card: what was read is the value text "(#2)".
    auto profile = TestProfile();
    profile.nv.erase(60011);
    profile.inactive.insert(60011);
    t.Plug(profile);
    ASSERT_TRUE(t.Open());
    const TConfigItem band = t.Item("BAND");
    TConfigItem& probe = t.Item("BAND");
    probe.Range += ",First only";
    probe.RangeValue += ",(#2)";
    t.state.values = cardwright::ItemValues(t.state.items, cardwright::ValueBoxes(t.state));
    EXPECT_EQ(reader.ReadMultiValueItem(t.state, probe, status), ItemOutcome::kFailed);
    EXPECT_EQ(status, 5);
    EXPECT_EQ(t.Shown("BAND"), "First only");
    EXPECT_EQ(reader.ReadMultiValueItem(t.state, band, status), ItemOutcome::kFailed);
    EXPECT_EQ(t.Shown("BAND"), "");
    EXPECT_FALSE(t.Ticked("BAND"));
}

TEST(ItemWork, WritesComposeEveryItemSharingTheNvItem) {
    CardWorkUnderTest t;
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
        t.Show(name, text);
    }
    CardWriter writer(t.Seams());
    ASSERT_TRUE(t.Open());
    EXPECT_EQ(writer.WriteItem(t.state, t.Item("B_HIGH")), ItemOutcome::kDone);
    // Each value goes in at its own byte with its own TYPE: the low byte, the flag, the word.
    EXPECT_EQ(t.Nv(60000, 5), (std::vector<uint8_t>{0x09, 0x01, 0x34, 0x12, 0x00}));

    EXPECT_EQ(writer.WriteMultiValueItem(t.state, t.Item("BAND")), ItemOutcome::kDone);
    EXPECT_EQ(t.Nv(60010, 2), (std::vector<uint8_t>{3, 0}));
    EXPECT_EQ(t.Nv(60011, 4), (std::vector<uint8_t>{48, 0, 1, 0}));
    EXPECT_EQ(t.Nv(60012, 3), (std::vector<uint8_t>{0, 9, 0}));

    EXPECT_EQ(writer.WriteItem(t.state, t.Item("BIT_B")), ItemOutcome::kDone);
    EXPECT_EQ(t.Nv(60050, 2), (std::vector<uint8_t>{0b1011, 0}));
    t.state.new_version = true;
    EXPECT_EQ(writer.WriteItem(t.state, t.Item("BIT_A")), ItemOutcome::kDone);
    EXPECT_EQ(t.Nv(60050, 1), std::vector<uint8_t>{0b0001});
    t.state.new_version = false;

    EXPECT_EQ(writer.WriteItem(t.state, t.Item("BIT_HIDDEN")), ItemOutcome::kDone);
    EXPECT_EQ(writer.WriteItem(t.state, t.Item("MODE")), ItemOutcome::kDone);
    EXPECT_EQ(writer.WriteItem(t.state, t.Item("LIMIT")), ItemOutcome::kDone);
    EXPECT_EQ(t.Nv(60030, 5), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0}));
    EXPECT_EQ(t.NvWrites(),
              (std::vector<uint16_t>{60000, 60010, 60011, 60012, 60050, 60050, 60030}));
    const Lines& log = t.log.lines;
    EXPECT_NE(std::find(log.begin(), log.end(), "High word:  Write OK..."), log.end());
    EXPECT_EQ(std::count(log.begin(), log.end(), "Band:  Write OK..."), 3);
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(),
                      [](const std::string& line) { return line.starts_with("Mode:  Write"); }),
        0);
}

TEST(ItemWork, UnchangedItemsTheCardLacksAreLeftAlone) {
    CardWorkUnderTest t;
    CardReader reader(t.Seams());
    CardWriter writer(t.Seams());
    TConfigItem& inactive = t.Item("INACTIVE");
    inactive.OnCard = false;
    reader.ShowNvDefault(t.state, inactive);
    ASSERT_TRUE(t.Open());
    EXPECT_EQ(writer.WriteItem(t.state, inactive), ItemOutcome::kDone);
    EXPECT_TRUE(t.NvWrites().empty());
    t.Show("INACTIVE", "Off");
    EXPECT_EQ(writer.WriteItem(t.state, inactive), ItemOutcome::kFailed);
    EXPECT_EQ(t.NvWrites(), std::vector<uint16_t>{60060});
    EXPECT_EQ(Last(t.log.lines, 2),
              (Lines{"Inactive:  Write OK...", "Inactive:  Write Failed..."}));
    EXPECT_FALSE(writer.Written()[0].sent);
    EXPECT_TRUE(writer.Written()[1].sent);
}

// A STRING item (or one without a TYPE) moves no bytes: sending the 128 zero bytes it composes
// would wipe the card's text. Nothing is sent, and the log says why.
TEST(ItemWork, AnItemWhoseTypeMovesNoBytesNeverWipesTheCardsItem) {
    CardWorkUnderTest t;
    CardWriter writer(t.Seams());
    t.Show("NOTE", "Long");
    t.Show("UNTYPED", "One");
    ASSERT_TRUE(t.Open());
    EXPECT_EQ(writer.WriteItem(t.state, t.Item("NOTE")), ItemOutcome::kDone);
    EXPECT_EQ(writer.WriteItem(t.state, t.Item("UNTYPED")), ItemOutcome::kDone);
    EXPECT_TRUE(t.NvWrites().empty());
    EXPECT_EQ(t.Nv(60020, 5), (std::vector<uint8_t>{'t', 'e', 'x', 't', 0}));
    EXPECT_EQ(Last(t.log.lines, 2),
              (Lines{"Untyped:  not sent: its TYPE \"\" carries no bytes, NV item 60021 stays as "
                     "the card has it...",
                     "Untyped:  Write OK..."}));
}

TEST(ItemWork, WritesThePortSettingOnce) {
    CardWorkUnderTest t;
    t.Show("DEVICE_STATE_INFO", "Factory");
    t.Show("PORT_X", "Off");
    t.Show("PORT_Y", "On");
    CardWriter writer(t.Seams());
    ASSERT_TRUE(t.Open());
    EXPECT_EQ(writer.WriteItem(t.state, t.Item("PORT_X")), ItemOutcome::kDone);
    EXPECT_TRUE(writer.PortSettingWritten());
    EXPECT_EQ(writer.WriteItem(t.state, t.Item("DEVICE_STATE_INFO")), ItemOutcome::kDone);
    EXPECT_EQ(t.Card().PortSetting(), (std::pair<uint8_t, uint8_t>{2, 16}));
    EXPECT_EQ(t.Requests(cardsim::Command::kPortSet), 1u);
    EXPECT_EQ(Last(t.log.lines, 3), (Lines{"Write port setting succeed...", "Port X:  Write OK...",
                                           "Device state:  Write OK..."}));
}

TEST(ItemWork, DescriptionsThatCannotBeUsedAreNamed) {
    CardWorkUnderTest t;
    CardReader reader(t.Seams());
    CardWriter writer(t.Seams());
    t.Show("B_HIGH", "300");
    t.Show("BAND", "Asia");
    TConfigItem bad_offset = t.Item("B_HIGH");
    bad_offset.NvByte = "2x";
    EXPECT_FALSE(reader.ShowNvValue(t.state, bad_offset, NvData{}));
    EXPECT_EQ(t.log.lines.back(), "Item B_HIGH: NV_BYTE \"2x\" is not a usable number...");

    ASSERT_TRUE(t.Open());
    EXPECT_EQ(writer.WriteItem(t.state, bad_offset), ItemOutcome::kBroken);
    EXPECT_EQ(t.log.lines.back(), "High word:  Write Failed...");
    TConfigItem bad_id = t.Item("B_HIGH");
    bad_id.NvId = "6000O";
    EXPECT_EQ(writer.WriteItem(t.state, bad_id), ItemOutcome::kBroken);
    EXPECT_NE(std::find(t.log.lines.begin(), t.log.lines.end(),
                        "Item B_HIGH: NV_ID \"6000O\" is not a usable number..."),
              t.log.lines.end());

    TConfigItem band = t.Item("BAND");
    band.NvId = "(#60010#6001l#60012)";
    int32_t status = 0;
    EXPECT_EQ(reader.ReadMultiValueItem(t.state, band, status), ItemOutcome::kBroken);
    EXPECT_EQ(t.log.lines.back(), "Item BAND: NV_ID \"6001l\" is not a usable number...");
    EXPECT_EQ(writer.WriteMultiValueItem(t.state, band), ItemOutcome::kBroken);
    EXPECT_EQ(t.NvWrites(), std::vector<uint16_t>{60010});  // up to the broken field

    band.NvId = "(#60010#60011#60012)";
    band.NvByte = "0";  // no field list: the single records keep the item's own texts
    EXPECT_EQ(writer.WriteMultiValueItem(t.state, band), ItemOutcome::kBroken);
    EXPECT_EQ(Last(t.log.lines, 3),
              (Lines{"get Single_NV_ID is error...",
                     "Item BAND: NV_ID \"(#60010#60011#60012)\" is not a usable number...",
                     "Band:  Write Failed..."}));

    TConfigItem gone = t.Item("B_LOW");
    gone.Name = "GONE";
    gone.AlongPage = "PAGE_TYPO";
    EXPECT_EQ(writer.WriteItem(t.state, gone), ItemOutcome::kFailed);
    EXPECT_EQ(t.log.lines.back(),
              "Low byte:  Write Failed: item GONE has no value box, its page "
              "PAGE_TYPO was not built...");
}

}  // namespace
