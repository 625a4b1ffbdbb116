#include <gtest/gtest.h>

#include <fstream>

#include "cardwork/model/config_item.h"
#include "tests/support/temp_dir.h"

namespace cardwright {
namespace {

TEST(ConfigItem, KeysAndTheirDefaults) {
    testsupport::TempDir dir;
    std::ofstream(dir.Path() / "d.ini")
        << "[A]\nDISPLAY=Dial mode\nNV_ID=(#904#905)\nVALUECOUNT=2\n"
           "USER_INPUT=1\nNV_BIT=0x3\nITEM_WIDTH=150\n[B]\nTYPE=WORD\n";
    const IniFile ini(dir.Path() / "d.ini");
    const auto a = ReadConfigItem(ini, "A");
    EXPECT_EQ(a.Caption, "Dial mode: ");
    EXPECT_EQ(a.NvId, "(#904#905)");
    EXPECT_EQ(a.ValueCount, 2);
    EXPECT_TRUE(a.UserInput);
    EXPECT_EQ(a.NvBit, 3);
    EXPECT_EQ(a.ItemWidth, 150);
    const auto b = ReadConfigItem(ini, "B");
    EXPECT_EQ(b.Caption, ": ");
    EXPECT_EQ(b.NvId, "0");
    EXPECT_EQ(b.NvBit, -1);
    EXPECT_EQ(b.NvByte, "-1");
    EXPECT_EQ(b.RangeValue, "-1");
    EXPECT_EQ(b.SCardTypeItem, 1);
    EXPECT_FALSE(b.Visible);
    EXPECT_TRUE(b.OnCard);
    EXPECT_EQ(b.ItemWidth, 100);
}

TEST(ItemLayout, RowsAndColumns) {
    ItemLayout layout(247);
    std::vector<ItemLayout::Point> placed;
    for (int i = 0; i < 8; ++i) {
        placed.push_back(layout.Current());
        layout.Advance(i != 1);
    }
    const std::vector<ItemLayout::Point> expected{{10, 20},  {10, 50},  {10, 50},  {10, 80},
                                                  {10, 110}, {10, 140}, {10, 170}, {250, 20}};
    EXPECT_EQ(placed, expected);
}

TEST(SplitList, Entries) {
    EXPECT_EQ(SplitList("a,b,,c"), (std::vector<std::string>{"a", "b", "", "c"}));
    EXPECT_TRUE(SplitList("").empty());
    EXPECT_EQ(SplitList("(#1#2)", '#'), (std::vector<std::string>{"(", "1", "2)"}));
}

}  // namespace
}  // namespace cardwright
