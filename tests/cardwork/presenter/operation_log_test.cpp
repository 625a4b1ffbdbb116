// ConfigLog.txt and the window's log: the file always holds what the window shows, earlier runs
// included, and a file that cannot be kept is said once.
#include <gtest/gtest.h>

#include "tests/cardwork/presenter/presenter_fixture.h"
#include "tests/support/files.h"

namespace {

using testsupport::PresenterSetup;
using testsupport::PresenterUnderTest;

// The window's log as the file holds it: each line ended by CR LF.
std::string AsFile(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

TEST(OperationLog, TheFirstRunWritesItsLinesOnly) {
    PresenterUnderTest t(PresenterSetup{std::nullopt, {}});
    const auto log = t.window().Seen().log;
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "2026-12-9 9:05:31  Init port failed");
    EXPECT_EQ(testsupport::Contents(t.Dir() / "ConfigLog.txt"), AsFile(log));
}

TEST(OperationLog, EarlierRunsComeFirstFourEmptyLinesApart) {
    PresenterUnderTest t(PresenterSetup{std::nullopt, [](const std::filesystem::path& folder) {
                                            testsupport::Put(folder / "ConfigLog.txt",
                                                             "run 1 a\r\nrun 1 b\nrun 1 c\r\n");
                                        }});
    const auto log = t.window().Seen().log;
    ASSERT_EQ(log.size(), 3u + 4u + 2u);
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 7),
              (std::vector<std::string>{"run 1 a", "run 1 b", "run 1 c", "", "", "", ""}));
    EXPECT_EQ(testsupport::Contents(t.Dir() / "ConfigLog.txt"), AsFile(log));
    // Later lines of the run are only added.
    ASSERT_TRUE(t.Run([](cardwright::WindowPresenter& p) { return p.Read(); }));
    EXPECT_EQ(testsupport::Contents(t.Dir() / "ConfigLog.txt"), AsFile(t.window().Seen().log));
}

TEST(OperationLog, ALogThatCannotBeKeptIsSaidOnceAndTheLinesStay) {
    PresenterUnderTest t(PresenterSetup{std::nullopt, [](const std::filesystem::path& folder) {
                                            std::filesystem::create_directory(folder /
                                                                              "ConfigLog.txt");
                                        }});
    const auto messages = t.window().Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Cannot open file " + (t.Dir() / "ConfigLog.txt").string());
    EXPECT_EQ(t.Log().back(), "Failed to read data from datacard...");
}

}  // namespace
