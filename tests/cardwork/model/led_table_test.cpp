#include <gtest/gtest.h>

#include <vector>

#include "cardwork/model/led_table.h"

namespace cardwright {
namespace {

constexpr const char* kClearedLine = "0,0|0,0|0,0|0,0|0,0|0,0|0,0|0,0|0,0|0,0|";

TEST(LedColors, CodesNamesAndNvBits) {
    const struct {
        int code;
        uint8_t bits;
        const char* name;
    } cases[] = {
        {0, 0, "--"},    {1, 0, "Off"},  {2, 1, "Blue"},    {3, 2, "Green"},
        {4, 4, "Red"},   {5, 3, "Cyan"}, {6, 6, "Yeallow"}, {7, 5, "Violet"},
        {8, 7, "White"}, {9, 0, "--"},   {-1, 0, "--"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToNvLedColor(c.code), c.bits) << c.code;
        EXPECT_EQ(LedColorName(c.code), c.name) << c.code;
        if (c.code >= 2 && c.code <= 8) {
            EXPECT_EQ(FromNvLedColor(c.bits), c.code) << c.code;
        }
    }
    for (uint8_t other : {0, 8, 0x80, 0xFF}) {
        EXPECT_EQ(FromNvLedColor(other), 1) << int(other);
    }
    EXPECT_EQ(LedColorEntries()[4], "青色");
    EXPECT_EQ(LedStatusCaptions()[6], "Lpm/Offline");
}

TEST(LedTable, PacksStepsAtTheirOffsetsAndReadsThemBack) {
    LedTable table;
    table.SetStep(1, 1, {2, 5});
    table.SetStep(1, 2, {1, 5});
    table.SetStep(3, 4, {5, 255});  // 20 x 2 + 2 x 3 = 46
    table.SetStep(4, 10, {8, -1});  // the end of a pattern goes to the card as 0
    table.SetStep(6, 1, {7, 9});    // second item, 20 x 1
    const auto first = table.Pack(0);
    const auto second = table.Pack(1);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(std::vector<uint8_t>(first->begin(), first->begin() + 5),
              (std::vector<uint8_t>{0x01, 0x05, 0x00, 0x05, 0x00}));
    EXPECT_EQ((*first)[46], 3);
    EXPECT_EQ((*first)[47], 255);
    EXPECT_EQ((*first)[78], 7);
    EXPECT_EQ((*first)[79], 0);
    EXPECT_EQ((*second)[20], 5);
    EXPECT_EQ((*second)[21], 9);
    EXPECT_EQ(std::count(first->begin(), first->end(), 0) + 6, 128) << "everything else zero";

    LedTable read;
    read.Unpack(0, *first);
    read.Unpack(1, *second);
    EXPECT_EQ(read.Step(1, 1), (LedStep{2, 5}));
    EXPECT_EQ(read.Step(1, 2), (LedStep{1, 5}));
    EXPECT_EQ(read.Step(1, 3), (LedStep{1, 0})) << "an empty step reads back as Off";
    EXPECT_EQ(read.Step(3, 4), (LedStep{5, 255}));
    EXPECT_EQ(read.Step(6, 1), (LedStep{7, 9}));
    EXPECT_EQ(read.Line(1), "2,5|1,5|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|");
}

TEST(LedTable, RefusesTimesTheCardCannotHold) {
    LedTable table;
    EXPECT_FALSE(table.FindBadTime());
    table.SetStep(7, 10, {2, -1});
    EXPECT_FALSE(table.FindBadTime()) << "-1 ends a pattern";
    table.SetStep(6, 3, {2, -2});
    table.SetStep(2, 3, {2, 500});
    const auto bad = table.FindBadTime();
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 2);
    EXPECT_EQ(bad->step, 3);
    EXPECT_EQ(bad->Message(),
              "LED status 2 (注册上G) step 3: time 500 cannot be kept by the card "
              "(0 to 255)...");
    EXPECT_FALSE(table.Pack(0)) << "500 is never written as 244";
    EXPECT_FALSE(table.Pack(1));
    table.SetStep(2, 3, {2, 255});
    EXPECT_TRUE(table.Pack(0));
}

TEST(LedTable, LinesInAndOut) {
    LedTable table;
    EXPECT_EQ(table.Line(8), kClearedLine);
    const struct {
        const char* line;
        std::vector<LedStep> first_steps;  // the rest colour 0, time 0
    } cases[] = {
        {"2,5|1,5|", {{2, 5}, {1, 5}}},
        {"3,10", {{3, 10}}},
        {"9,5|0,7|x,3|4,y|4|,6|", {{0, 5}, {0, 7}, {0, 3}, {4, 0}, {4, 0}, {0, 6}}},
        {"2,5|1,5|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|6,6|",
         {{2, 5}, {1, 5}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        table.SetLine(4, "8,8|8,8|8,8|8,8|8,8|8,8|8,8|8,8|8,8|8,8|");
        table.SetLine(4, c.line);
        for (int t = 1; t <= kLedSteps; ++t) {
            const LedStep expected = static_cast<size_t>(t - 1) < c.first_steps.size()
                                         ? c.first_steps[t - 1]
                                         : LedStep{};
            EXPECT_EQ(table.Step(4, t), expected) << c.line << " step " << t;
        }
    }
    table.SetLine(2, "2,500|2,-1|");
    EXPECT_EQ(table.Line(2), "2,500|2,-1|0,0|0,0|0,0|0,0|0,0|0,0|0,0|0,0|");
}

TEST(LedTable, KnowsWhatItHolds) {
    LedTable table;
    EXPECT_FALSE(table.Writable());
    table.SetStep(1, 1, {2, 5});
    table.SetFrom(LedTable::Source::kEdited);
    EXPECT_TRUE(table.Writable());
    table.Clear();
    EXPECT_FALSE(table.Writable());
    EXPECT_EQ(table.Step(1, 1), LedStep{});
    EXPECT_EQ(table.Step(0, 1), LedStep{}) << "outside the table";
    table.SetStep(9, 1, {2, 5});
}

}  // namespace
}  // namespace cardwright
