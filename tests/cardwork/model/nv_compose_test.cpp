#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "cardwork/model/nv_compose.h"

namespace cardwright {
namespace {

TConfigItem Item(std::string name, std::string nv_id, std::string nv_byte, std::string type,
                 std::string range = "Off,On", std::string range_value = "0,1") {
    TConfigItem item;
    item.Name = std::move(name);
    item.Caption = item.Name + ": ";
    item.NvId = std::move(nv_id);
    item.NvByte = std::move(nv_byte);
    item.ItemType = std::move(type);
    item.Range = std::move(range);
    item.RangeValue = std::move(range_value);
    item.Visible = true;
    return item;
}

TConfigItem Bit(std::string name, std::string nv_id, int bit) {
    TConfigItem item = Item(std::move(name), std::move(nv_id), "-1", "BYTE");
    item.NvBit = bit;
    return item;
}

TConfigItem Typed(std::string name, std::string nv_id, std::string nv_byte, std::string type) {
    TConfigItem item = Item(std::move(name), std::move(nv_id), std::move(nv_byte), std::move(type));
    item.UserInput = true;
    return item;
}

// Shown texts by item name; an item without an entry has no value box.
ShownText Shows(std::map<std::string, std::string> texts) {
    return [texts = std::move(texts)](const TConfigItem& item) -> std::optional<std::string> {
        const auto found = texts.find(item.Name);
        if (found == texts.end()) {
            return std::nullopt;
        }
        return found->second;
    };
}

std::vector<uint8_t> Head(const NvData& data, size_t count) {
    return {data.begin(), data.begin() + static_cast<std::ptrdiff_t>(count)};
}

bool ZeroFrom(const NvData& data, size_t from) {
    return std::all_of(data.begin() + static_cast<std::ptrdiff_t>(from), data.end(),
                       [](uint8_t b) { return b == 0; });
}

TEST(ComposeNvItem, ByteOffsetItemsShareEachAtItsOwnPlaceAndWidth) {
    const std::vector<TConfigItem> items{
        Typed("LOW", "20", "0", "BYTE"),    Typed("HIGH", "20", "2", "WORD"),
        Typed("OVER", "20", "1", "BYTE"),   Typed("ELSEWHERE", "21", "3", "BYTE"),
        Typed("HIDDEN", "20", "5", "BYTE"),
    };
    const auto shown = Shows({{"LOW", "300"}, {"HIGH", "4660"}, {"OVER", "7"}, {"ELSEWHERE", "9"}});
    // Whichever item is written, the NV item holds every sharer's value as it is read back: a
    // BYTE sharer never spills into its neighbour's byte because the written item is a WORD.
    for (const TConfigItem& record : {items[0], items[1], items[2]}) {
        const ComposedNvItem composed = ComposeNvItem(items, shown, record, false);
        ASSERT_TRUE(composed.Ok()) << record.Name;
        EXPECT_EQ(Head(composed.data, 4), (std::vector<uint8_t>{0x2C, 0x07, 0x34, 0x12}))
            << record.Name;
        EXPECT_TRUE(ZeroFrom(composed.data, 4)) << "HIDDEN has no value box";
        EXPECT_EQ(ItemValueFromNv(items[1], composed.data), 4660);
        EXPECT_EQ(ItemValueFromNv(items[2], composed.data), 7);
    }

    // Where two sharers do overlap, the later one wins.
    const std::vector<TConfigItem> overlapping{Typed("WIDE", "22", "0", "WORD"),
                                               Typed("NARROW", "22", "1", "BYTE")};
    const ComposedNvItem overlap = ComposeNvItem(
        overlapping, Shows({{"WIDE", "4660"}, {"NARROW", "5"}}), overlapping[0], false);
    EXPECT_EQ(Head(overlap.data, 3), (std::vector<uint8_t>{0x34, 0x05, 0x00}));
}

TEST(ComposeNvItem, OneBitItemsSetTheirBitsOfByteZero) {
    TConfigItem hidden = Bit("EDGE", "50020", 3);
    hidden.Visible = false;
    TConfigItem old_only = Bit("OLD", "50020", 5);
    TConfigItem current = Bit("ROAMING", "50020", 0);
    current.NewVersion = 1;
    TConfigItem word_record = Bit("HSPA", "50020", 1);
    word_record.ItemType = "WORD";
    word_record.NewVersion = 1;
    const std::vector<TConfigItem> items{current,
                                         word_record,
                                         hidden,
                                         old_only,
                                         Bit("OUTSIDE", "50020", 9),
                                         Bit("OTHER", "50021", 2)};
    const auto shown = Shows({{"ROAMING", "on"},
                              {"HSPA", "On"},
                              {"EDGE", "ON"},
                              {"OLD", "On"},
                              {"OUTSIDE", "On"},
                              {"OTHER", "On"}});

    const ComposedNvItem all = ComposeNvItem(items, shown, items[0], false);
    EXPECT_EQ(all.data[0], 0b101011);
    EXPECT_TRUE(ZeroFrom(all.data, 1)) << "a BYTE record; bit 9 is no bit of byte 0";

    const ComposedNvItem newer = ComposeNvItem(items, shown, word_record, true);
    EXPECT_EQ(newer.data[0], 0b000011) << "without NEW_VERSION skipped while the flag is set";

    const auto some_off = Shows({{"ROAMING", "Off"}, {"EDGE", "On"}, {"OTHER", "On"}});
    EXPECT_EQ(ComposeNvItem(items, some_off, items[2], false).data[0], 0b1000)
        << "a hidden item still contributes; items without a value box do not";
}

TEST(ComposeNvItem, MultiValueItemsGiveEachNvItemItsColumn) {
    TConfigItem band =
        Item("BAND", "(#904#905)", "(#0#0)", "WORD", "Europe,America", "(#1#16),(#2#32)");
    band.ValueCount = 2;
    const std::vector<TConfigItem> items{band, Typed("SHARER", "905", "2", "BYTE")};
    const auto shown = Shows({{"BAND", "America"}, {"SHARER", "300"}});

    const ComposedNvItem first = ComposeNvItem(items, shown, MakeSingleItem(band, 0).item, false);
    EXPECT_EQ(Head(first.data, 4), (std::vector<uint8_t>{2, 0, 0, 0}));

    // The ordinary item goes to its own NV_BYTE as the BYTE it is; written as itself, it keeps
    // both bytes of the multi-value item's WORD in that NV item.
    for (const TConfigItem& record : {MakeSingleItem(band, 1).item, items[1]}) {
        const ComposedNvItem second = ComposeNvItem(items, shown, record, false);
        EXPECT_EQ(Head(second.data, 5), (std::vector<uint8_t>{32, 0, 0x2C, 0, 0})) << record.Name;
    }
    const auto wide = Shows({{"BAND", "America"}, {"SHARER", "7"}});
    band.RangeValue = "(#1#16),(#2#800)";
    const std::vector<TConfigItem> wide_items{band, Typed("SHARER", "905", "2", "BYTE")};
    EXPECT_EQ(Head(ComposeNvItem(wide_items, wide, wide_items[1], false).data, 3),
              (std::vector<uint8_t>{0x20, 0x03, 0x07}))
        << "the high byte of the WORD 800 stays";

    // One item may keep two of its values in one NV item.
    TConfigItem pair = Item("PAIR", "(#70#70)", "(#0#1)", "BYTE", "Low,High", "(#1#2),(#3#4)");
    pair.ValueCount = 2;
    const std::vector<TConfigItem> paired{pair, Typed("NEXT", "70", "2", "BYTE")};
    EXPECT_EQ(
        Head(ComposeNvItem(paired, Shows({{"PAIR", "High"}, {"NEXT", "9"}}), paired[1], false).data,
             3),
        (std::vector<uint8_t>{3, 4, 9}));

    TConfigItem three = Item("TRIPLE", "(#1#2#3)", "(#0#1#2)", "BYTE", "A,B", "(#1#2#3),(#4#5#6)");
    three.ValueCount = 3;
    const std::vector<TConfigItem> alone{three};
    for (int k = 0; k < 3; ++k) {
        const auto record = MakeSingleItem(three, k).item;
        const ComposedNvItem composed =
            ComposeNvItem(alone, Shows({{"TRIPLE", "b"}}), record, false);
        EXPECT_EQ(composed.data[static_cast<size_t>(k)], 4 + k) << "field " << k;
    }
}

TEST(ComposeNvItem, WholeRecordsAndDescriptionsThatAreNoNumbers) {
    const TConfigItem whole = Typed("TIMER", "50031", "-1", "DWORD");
    const std::vector<TConfigItem> items{whole, Typed("OTHER", "50031", "-1", "BYTE")};
    const ComposedNvItem composed =
        ComposeNvItem(items, Shows({{"TIMER", "-1"}, {"OTHER", "5"}}), whole, false);
    EXPECT_EQ(Head(composed.data, 5), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0}));

    const TConfigItem record = Typed("A", "30", "x1", "BYTE");
    const std::vector<TConfigItem> bad_record{record};
    EXPECT_EQ(ComposeNvItem(bad_record, Shows({{"A", "1"}}), record, false).error,
              "Item A: NV_BYTE \"x1\" is not a usable number...");

    const std::vector<TConfigItem> bad_sharer{Typed("A", "30", "0", "BYTE"),
                                              Typed("B", "30", "127", "WORD")};
    EXPECT_EQ(
        ComposeNvItem(bad_sharer, Shows({{"A", "1"}, {"B", "1"}}), bad_sharer[0], false).error,
        "Item B: NV_BYTE \"127\" is not a usable number...")
        << "a WORD at 127 would run past the 128 bytes";
}

TEST(ItemValueFromNv, BitsOffsetsAndBareValues) {
    NvData data{};
    data[0] = 0b1000;
    data[1] = 0xFF;
    data[4] = 0xFF;
    data[5] = 0xFF;
    data[6] = 0xFF;
    data[7] = 0xFF;
    EXPECT_EQ(ItemValueFromNv(Bit("B3", "1", 3), data), 1);
    EXPECT_EQ(ItemValueFromNv(Bit("B2", "1", 2), data), 0);
    EXPECT_EQ(ItemValueFromNv(Bit("B9", "1", 9), data), 0) << "byte 0 only";
    EXPECT_EQ(ItemValueFromNv(Typed("D", "1", "4", "DWORD"), data), -1);
    EXPECT_EQ(ItemValueFromNv(Typed("W", "1", "1", "word"), data), 0x00FF);
    EXPECT_EQ(ItemValueFromNv(Typed("S", "1", "4", "STRING"), data), 0);
    EXPECT_EQ(ItemValueFromNv(Typed("WHOLE", "1", "-1", "WORD"), data), 0xFF08);
    EXPECT_EQ(ItemValueFromNv(Typed("BAD", "1", "(#0", "BYTE"), data), std::nullopt);

    EXPECT_EQ(ItemValueFromBare(Bit("B3", "1", 3), 5), 5) << "a bit item takes it unchanged";
    EXPECT_EQ(ItemValueFromBare(Typed("T", "1", "2", "BYTE"), 300), 44);
    EXPECT_EQ(ItemValueFromBare(Typed("T", "1", "-1", "DWORD"), -7), -7);
}

TEST(DeviceState, ComposedDecodedAndStored) {
    TConfigItem info = Item("DEVICE_STATE_INFO", "-101", "-1", "BYTE", "A,B,C", "0,1,2");
    TConfigItem port2 = Bit("PORT2", "-101", 2);
    TConfigItem port4 = Bit("PORT4", "-101", 4);
    TConfigItem port1 = Bit("PORT1", "-101", 1);
    const std::vector<TConfigItem> items{info, port2, Bit("NV_ITEM", "55", 0), port4, port1};
    const DeviceState setting = ComposeDeviceState(items, Shows({{"DEVICE_STATE_INFO", "b"},
                                                                 {"PORT2", "On"},
                                                                 {"PORT4", "On"},
                                                                 {"PORT1", "Off"},
                                                                 {"NV_ITEM", "On"}}));
    EXPECT_EQ(setting, (DeviceState{1, 0b10100}));
    EXPECT_EQ(StoredDeviceState(setting), "5121");

    const auto stored = ParseStoredDeviceState("514");
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, (DeviceState{2, 2}));
    EXPECT_EQ(DeviceStateItemValue(info, *stored), 2);
    EXPECT_EQ(DeviceStateItemValue(port1, *stored), 1);
    EXPECT_EQ(DeviceStateItemValue(port2, *stored), 0);
    EXPECT_EQ(ParseStoredDeviceState("5l4"), std::nullopt);
}

}  // namespace
}  // namespace cardwright
