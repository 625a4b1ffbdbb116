// Scripts: every verb on the presenter's own commands, the answers a script gives in place of
// the user, and an exit status that is 0 only when every command went through.
#include <gtest/gtest.h>

#include <sstream>

#include "cardwork/model/ini_file.h"
#include "tests/cardwork/presenter/presenter_fixture.h"

namespace {

using testsupport::PresenterSetup;
using testsupport::PresenterUnderTest;
using testsupport::WaitUntil;
using Lines = std::vector<std::string>;

struct ScriptRun {
    int status = -1;
    std::string out;
    std::string err;
};

ScriptRun RunScript(PresenterUnderTest& t, Lines lines) {
    std::ostringstream out;
    std::ostringstream err;
    const size_t ended = t.window().Seen().script_statuses.size();
    t.presenter().RunScript(std::move(lines), out, err);
    if (!WaitUntil([&] { return t.window().Seen().script_statuses.size() > ended; },
                   std::chrono::seconds(30))) {
        throw std::runtime_error("the script did not end");
    }
    t.WaitIdle();
    return {t.window().Seen().script_statuses.back(), out.str(), err.str()};
}

TEST(Script, EveryVerbActsOnThePresentersState) {
    PresenterUnderTest t;
    const std::string file = (t.Dir() / "cards.ini").string();
    const ScriptRun run = RunScript(t, {"# a technician's run",
                                        "select MODE Fast",
                                        "write",
                                        "expect-log BackupNVItems succed",
                                        "wait-for-card 5",
                                        "read",
                                        "expect-log Mode:  read succeed.",
                                        "export " + file,
                                        "answer yes",
                                        "select B_LOW 9",
                                        "export " + file,
                                        "import " + file,
                                        "expect-log import file finished...",
                                        "solution save Field",
                                        "solution select DEFAULT",
                                        "led 1 3 Red 7",
                                        "tab Shared",
                                        "screenshot " + (t.Dir() / "window.png").string(),
                                        "quit",
                                        "write"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("script: select MODE Fast\n"), std::string::npos);
    EXPECT_NE(run.out.find("question: Export reads the card again; the changes not yet written to "
                           "the card will be lost. Export anyway? Yes\n"),
              std::string::npos);
    EXPECT_NE(run.out.find("message: Write to datacard succeed...\n"), std::string::npos);
    EXPECT_EQ(run.out.find("script: write\nscript: write"), std::string::npos);

    EXPECT_EQ(t.card().Nv(60040, 1), std::vector<uint8_t>{1});  // Mode Fast written
    EXPECT_EQ(t.card().Count("Restart"), 1u) << "nothing after quit";
    EXPECT_EQ(cardwright::IniFile(file).ReadString("DEFAULT", "B_LOW", ""), "7")
        << "the second export read the card again over the change, as answered";
    const cardwright::IniFile values(t.Dir() / "config_value.ini");
    EXPECT_EQ(values.ReadString("MAIN", "current", ""), "Field");
    const auto seen = t.window().Seen();
    EXPECT_EQ(seen.solutions[static_cast<size_t>(seen.solution)], "DEFAULT");
    EXPECT_EQ(seen.led_steps[2].colour, "红色");
    EXPECT_EQ(seen.selected_tab, cardwright::DescribedTab(1));
    EXPECT_EQ(seen.asked.back().kind, testsupport::Asked::Kind::kScreenshot);
    EXPECT_TRUE(t.window().Messages().empty()) << "a script's messages are printed";
}

// A failed command names its line and the script goes on; its exit status is 1. A line that
// cannot be carried out ends it.
TEST(Script, AFailedCommandMakesTheExitStatusOne) {
    PresenterUnderTest t;
    t.card().FailWrites(7);
    ScriptRun run = RunScript(t, {"select MODE Fast", "write", "expect-log Failed to write info...",
                                  "expect-log Read from datacard succeed...", "read"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "script: line 2: Write failed at Low byte\n"
              "script: line 4: the log has no line with \"Read from datacard succeed...\" since "
              "the last command\n");
    EXPECT_NE(run.out.find("script: read\n"), std::string::npos) << "it went on";

    run = RunScript(t, {"select MODE Fastest", "read"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "script: line 1: MODE does not offer Fastest\n");
    EXPECT_EQ(run.out.find("script: read"), std::string::npos);

    run = RunScript(t, {"frobnicate now", "read"});
    EXPECT_EQ(run.err, "script: line 1: unknown command frobnicate now\n");
}

TEST(Script, AReadWithoutACardFails) {
    PresenterUnderTest t(PresenterSetup{std::nullopt, {}});
    const ScriptRun run = RunScript(t, {"read"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "script: line 1: Read failed: no card found\n");
}

// Without an answer a question is cancelled; a file dialog outside import and export is
// cancelled too; and a script given before the start-up waits for it.
TEST(Script, QuestionsWithoutAnAnswerAreCancelled) {
    PresenterUnderTest t(PresenterSetup{testsupport::TestProfile(), {}, false});
    std::ostringstream out;
    std::ostringstream err;
    t.presenter().RunScript({"select MODE Fast", "export " + (t.Dir() / "x.ini").string()}, out,
                            err);
    ASSERT_TRUE(t.Run([](cardwright::WindowPresenter& p) { return p.StartUp(); }));
    ASSERT_EQ(t.window().Seen().script_statuses, std::vector<int>{1});
    EXPECT_NE(out.str().find("Export anyway? No\n"), std::string::npos);
    EXPECT_EQ(err.str(), "script: line 2: Export cancelled\n");
    EXPECT_FALSE(std::filesystem::exists(t.Dir() / "x.ini"));
}

TEST(Script, LedStepsFollowTheDialogsRules) {
    PresenterUnderTest t;
    const ScriptRun run =
        RunScript(t, {"led 1 3 Blue 300", "led 1 5 Blue 3", "led 1 3 Pink 3", "led 9 1 Blue 3"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "script: line 1: The time must be a whole number from 0 to 255 (units of 100 ms)...\n"
              "script: line 2: Please set the previous number first...\n"
              "script: line 3: no LED colour Pink\n");
}

}  // namespace
