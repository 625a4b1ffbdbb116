// What every window does the same: the status bar's text shortened to fit, and what the status
// bar says a command came to.
#include <gtest/gtest.h>

#include "cardwork/presenter/command_outcome.h"
#include "cardwork/presenter/view_rules.h"

namespace {

using cardwright::FitStatusText;
using cardwright::StatusText;

// Fits when it has at most `characters` characters (UTF-8).
std::function<bool(std::string_view)> AtMost(size_t characters) {
    return [characters](std::string_view text) {
        size_t count = 0;
        for (const char c : text) {
            count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }
        return count <= characters;
    };
}

TEST(StatusText, APathIsShortenedInItsMiddleKeepingItsFileName) {
    const std::string text = "Import: done, /home/tech/setting files/cards.ini loaded";
    const StatusText status{text, 14, 34};
    ASSERT_EQ(text.substr(14, 34), "/home/tech/setting files/cards.ini");
    EXPECT_EQ(FitStatusText(status, AtMost(100)), text);
    EXPECT_EQ(FitStatusText(status, AtMost(40)), "Import: done, /home/tec\u2026cards.ini loaded");
    // Nothing of the path left is not enough: the end goes too.
    EXPECT_EQ(FitStatusText(status, AtMost(15)), "Import: done, \u2026");
    // Without a path, the end goes.
    EXPECT_EQ(FitStatusText({"Read failed: COM12 is in use by minicom (pid 700)"}, AtMost(20)),
              "Read failed: COM12 \u2026");
}

TEST(StatusText, CutsFallBetweenCharacters) {
    const std::string text = "Export: written to /数据/卡片/设置.ini";
    const StatusText status{text, 19, text.size() - 19};
    const std::string fitted = FitStatusText(status, AtMost(25));
    EXPECT_EQ(fitted, "Export: written to /数\u2026ini");
}

TEST(CommandOutcome, EachEndingInWords) {
    using cardwright::CommandOutcome;
    using cardwright::WorkResult;
    using cardwright::WorkStep;
    EXPECT_EQ(CommandOutcome("Write", WorkResult::Done(), "done, as asked"),
              "Write: done, as asked");
    EXPECT_EQ(CommandOutcome("Write", WorkResult::Failed(WorkStep::kWritingItem, {}, "Band"), ""),
              "Write failed at Band");
    EXPECT_EQ(
        CommandOutcome(
            "Write", WorkResult::Failed(WorkStep::kWritingLed, "COM12 is gone", "the LED settings"),
            ""),
        "Write failed at the LED settings: COM12 is gone");
    EXPECT_EQ(CommandOutcome("Import",
                             WorkResult::Refused(WorkStep::kCheckingCardType, "no card found"), ""),
              "Import failed: no card found");
    EXPECT_EQ(CommandOutcome("Export", WorkResult::Cancelled(WorkStep::kChoosingFile), ""),
              "Export cancelled");

    std::vector<cardwright::ItemReading> readings(3);
    readings[0].read = readings[2].read = true;
    EXPECT_EQ(cardwright::ReadDone(readings), "done, 3 items, 1 not read");
    readings[1].read = true;
    EXPECT_EQ(cardwright::ReadDone(readings), "done, 3 items");
}

}  // namespace
