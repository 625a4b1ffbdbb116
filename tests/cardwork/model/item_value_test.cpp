#include <gtest/gtest.h>

#include <vector>

#include "cardwork/model/item_check.h"
#include "cardwork/model/item_value.h"

namespace cardwright {
namespace {

TConfigItem Choice(std::string range, std::string range_value) {
    TConfigItem item;
    item.Name = "ITEM";
    item.Caption = "Item: ";
    item.Range = std::move(range);
    item.RangeValue = std::move(range_value);
    item.ItemType = "BYTE";
    return item;
}

TConfigItem UserInput(std::string type) {
    TConfigItem item = Choice("1,2", "1,2");
    item.UserInput = true;
    item.ItemType = std::move(type);
    return item;
}

TEST(ItemValue, WidthsAndByteMovesByType) {
    const struct {
        const char* type;
        size_t width;
        int32_t read;  // from FF FF FF FF
    } cases[] = {
        {"BYTE", 1, 255},   {"byte", 1, 255}, {"BOOLEAN", 1, 255}, {"word", 2, 65535},
        {"Word", 2, 65535}, {"DWORD", 4, -1}, {"dword", 4, -1},    {"STRING", 0, 0},
        {"", 0, 0},         {"QWORD", 0, 0},  {"BYTE ", 0, 0},
    };
    const std::vector<uint8_t> ones(8, 0xFF);
    for (const auto& c : cases) {
        EXPECT_EQ(TypeWidth(c.type), c.width) << c.type;
        EXPECT_EQ(ValueAt(ones, 2, c.type), c.read) << c.type;
        NvData data{};
        PutValue(data, 3, 0x12345678, c.type);
        for (size_t i = 0; i < data.size(); ++i) {
            const uint8_t expected =
                i >= 3 && i < 3 + c.width ? static_cast<uint8_t>(0x12345678 >> (8 * (i - 3))) : 0;
            ASSERT_EQ(data[i], expected) << c.type << " byte " << i;
        }
    }
    NvData data{};
    PutValue(data, 0, 300, "BYTE");
    EXPECT_EQ(ValueAt(data, 0, "WORD"), 44) << "a BYTE keeps the low byte of 300";
}

TEST(ItemValue, TextToValueAndBack) {
    const TConfigItem item = Choice("Off,On,Español,中文, Spaced", "0,1,2,x,4");
    const struct {
        const char* text;
        int32_t value;
    } to_value[] = {
        {"On", 1},      {"oN", 1},      {"ON", 1},
        {"Español", 2}, {"ESPAñOL", 2}, {"ESPAÑOL", 0},  // only a to z fold
        {"中文", 0},                                     // entry found, its value "x" is no number
        {"Spaced", 0},                                   // entries are not trimmed
        {" Spaced", 4}, {"Maybe", 0},   {"", 0},
    };
    for (const auto& c : to_value) {
        EXPECT_EQ(TextToValue(item, c.text), c.value) << c.text;
    }
    EXPECT_EQ(ValueToText(item, 2), "Español");
    EXPECT_EQ(ValueToText(item, 4), " Spaced");
    EXPECT_EQ(ValueToText(item, 7), "");
    EXPECT_EQ(ValueTextToText(item, "x"), "中文");
    EXPECT_EQ(ValueTextToText(item, "X"), "中文");

    const TConfigItem first_wins = Choice("A,a,B", "1,2,1");
    EXPECT_EQ(TextToValue(first_wins, "a"), 1);
    EXPECT_EQ(ValueToText(first_wins, 1), "A");

    const TConfigItem other = Choice("", "7,8");
    EXPECT_EQ(TextToValue(Choice("Off,On", "0,1"), "On", &other), 8) << "values of the other item";
    EXPECT_EQ(TextToValue(Choice("Off,On", "0"), "On"), 0) << "a missing value entry";

    const TConfigItem typed = UserInput("WORD");
    EXPECT_EQ(TextToValue(typed, "300"), 300);
    EXPECT_EQ(TextToValue(typed, "-12"), -12);
    for (const char* not_a_number : {"abc", "", " 3", "3 ", "0x10", "4294967296", "+-1"}) {
        EXPECT_EQ(TextToValue(typed, not_a_number), 0) << not_a_number;
    }
    EXPECT_EQ(ValueToText(typed, -1), "-1");
    EXPECT_EQ(ValueTextToText(typed, "(#1)"), "(#1)");
    EXPECT_EQ(UpperCase("español 中文 abc"), "ESPAñOL 中文 ABC");
}

TEST(ItemValue, ChangedMarkAndDefaultText) {
    EXPECT_TRUE(MarksChanged("On", "Off"));
    EXPECT_TRUE(MarksChanged("off", "Off")) << "letter case counts";
    EXPECT_FALSE(MarksChanged("Off", "Off"));
    EXPECT_FALSE(MarksChanged("default", "Off"));
    EXPECT_FALSE(MarksChanged(" \t", "Off"));
    EXPECT_FALSE(MarksChanged("", "Off"));
    EXPECT_TRUE(IsDefaultText("DeFaUlT"));
    EXPECT_FALSE(IsDefaultText("DEFAULT "));
}

TEST(ItemValue, KindsInTheirOrder) {
    TConfigItem item = Choice("", "");
    item.NvId = "-101";
    item.NvBit = 2;
    item.NvByte = "4";
    EXPECT_EQ(KindOf(item), ItemKind::kDeviceState);
    item.NvId = "10";
    EXPECT_EQ(KindOf(item), ItemKind::kOneBit);
    item.NvBit = -1;
    EXPECT_EQ(KindOf(item), ItemKind::kByteOffset);
    item.NvByte = "-1";
    EXPECT_EQ(KindOf(item), ItemKind::kWhole);
}

TEST(ItemValue, FieldLists) {
    const struct {
        const char* text;
        int k;
        const char* field;
    } cases[] = {
        {"(#904#905)", 0, "904"}, {"(#904#905)", 1, "905"}, {"(#904#905)", 2, "905"},
        {"(#904#905)", 9, "905"}, {"(#1#16)", 1, "16"},     {"(#7)", 0, "7"},
        {"5", 0, "-1"},           {")(#1#2", 0, "-1"},      {"(#1#2", 0, "-1"},
        {"#1#2)", 1, "2"},        {"(#)", 0, ""},           {"()", 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ListField(c.text, c.k), c.field) << c.text << " field " << c.k;
    }
    EXPECT_EQ(RangeValueColumn("(#1#16),(#2#32)", 0), "1,2");
    EXPECT_EQ(RangeValueColumn("(#1#16),(#2#32)", 1), "16,32");
    EXPECT_EQ(RangeValueColumn("(#1#16),3", 1), "16,-1");

    EXPECT_TRUE(NamesNvItem("(#904#905)", "904"));
    EXPECT_TRUE(NamesNvItem("(#904#905)", "905"));
    EXPECT_FALSE(NamesNvItem("(#904#905)", "90"));
    EXPECT_FALSE(NamesNvItem("(#1904#905)", "904"));
    EXPECT_FALSE(NamesNvItem("904", "904"));
}

TEST(ItemValue, SingleItemsOfAMultiValueItem) {
    TConfigItem item = Choice("Europe,America", "(#1#16),(#2#32)");
    item.NvId = "(#904#905)";
    item.NvByte = "(#0#2)";
    item.ValueCount = 2;
    const SingleItem second = MakeSingleItem(item, 1);
    EXPECT_TRUE(second.complete);
    EXPECT_EQ(second.item.NvId, "905");
    EXPECT_EQ(second.item.NvByte, "2");
    EXPECT_EQ(second.item.RangeValue, "16,32");
    EXPECT_EQ(second.item.Name, "ITEM");
    EXPECT_EQ(second.item.Range, "Europe,America");
    EXPECT_EQ(TextToValue(item, "AMERICA", &second.item), 32);

    item.NvByte = "0";
    const SingleItem broken = MakeSingleItem(item, 0);
    EXPECT_FALSE(broken.complete);
    EXPECT_EQ(broken.item.NvId, "(#904#905)") << "the item's own texts stay";
    EXPECT_EQ(broken.item.NvByte, "0");
    EXPECT_EQ(broken.item.RangeValue, "(#1#16),(#2#32)");

    // One RANGE_VALUE entry that is no field list: the column holds "-1" in its place.
    item.NvByte = "(#0#2)";
    item.RangeValue = "(#1#16),2";
    const SingleItem partly = MakeSingleItem(item, 0);
    EXPECT_TRUE(partly.complete);
    EXPECT_EQ(partly.item.RangeValue, "1,-1");
    EXPECT_EQ(TextToValue(item, "America", &partly.item), -1);
}

TEST(ItemValue, DescriptionNumbers) {
    EXPECT_EQ(NvItemNumber("50012"), 50012);
    EXPECT_EQ(NvItemNumber("0"), 0);
    for (const char* bad : {"", "(#904#905)", "12a", "65536", "-5", " 7"}) {
        EXPECT_FALSE(NvItemNumber(bad)) << bad;
    }
    EXPECT_EQ(ValueOffset("-1", "DWORD"), 0u);
    EXPECT_EQ(ValueOffset("124", "DWORD"), 124u);
    EXPECT_EQ(ValueOffset("127", "BYTE"), 127u);
    EXPECT_EQ(ValueOffset("500", "STRING"), std::nullopt);
    for (const char* bad : {"125", "-2", "x", "(#0#0)", ""}) {
        EXPECT_FALSE(ValueOffset(bad, "DWORD")) << bad;
    }
    TConfigItem item = Choice("", "");
    EXPECT_EQ(BadNumberMessage(item, "NV_BYTE", "(#0"),
              "Item ITEM: NV_BYTE \"(#0\" is not a usable number...");
}

TEST(ItemValue, StoredForms) {
    const std::vector<int32_t> values{1, 0};
    EXPECT_EQ(StoredMultiValue(values), "1|0");
    EXPECT_EQ(StoredToFieldList("1|0"), "(#1#0)");
    EXPECT_EQ(FieldListText(values), "(#1#0)");
    EXPECT_EQ(FieldListText(std::vector<int32_t>{1}), "(#1)");
}

TEST(ItemCheck, NumbersAndBlanksBeforeWriting) {
    const struct {
        const char* type;
        const char* text;
        bool ok;
    } cases[] = {
        {"BYTE", "255", true},
        {"BYTE", "300", false},
        {"BYTE", "abc", false},
        {"BYTE", "-1", false},
        {"BOOLEAN", "256", false},
        {"word", "65535", true},
        {"word", "65536", false},
        {"WORD", "abc", false},
        {"DWORD", "-1", true},
        {"DWORD", "2147483647", true},
        {"Dword", "4294967295", false},
        {"STRING", "abc", true},
        {"", "abc", true},
        {"WORD", "default", true},
        {"WORD", "1.5", false},
    };
    for (const auto& c : cases) {
        const TConfigItem item = UserInput(c.type);
        const ItemCheck check{&item, true, c.text};
        const CheckResult result = CheckItemValues({&check, 1});
        EXPECT_EQ(result.ok, c.ok) << c.type << " " << c.text;
        if (!c.ok) {
            EXPECT_EQ(result.log, std::vector<std::string>{"Item:  is not valid..."});
        }
    }

    const TConfigItem typed = UserInput("BYTE");
    const TConfigItem picked = Choice("Off,On", "0,1");
    const std::vector<ItemCheck> checks{
        {&typed, false, "300"},        // not ticked: not checked at all
        {&picked, true, "whatever"},   // no user input: no number to check
        {&typed, std::nullopt, "7"},   // no check box
        {&typed, true, std::nullopt},  // no value box
        {&picked, true, "  "},        {&typed, true, "300"},
    };
    const CheckResult result = CheckItemValues(checks);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.log, std::vector<std::string>{"Item:  was NULL..."}) << "stops at the first";
    EXPECT_TRUE(CheckItemValues({checks.data(), 4}).ok);
}

}  // namespace
}  // namespace cardwright
