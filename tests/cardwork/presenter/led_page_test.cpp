// The LED page: the step list of the status selected, and editing its steps as the user sees
// them.
#include <gtest/gtest.h>

#include "cardwork/presenter/led_page.h"
#include "cardwork/presenter/view_rules.h"
#include "tests/cardwork/presenter/presenter_fixture.h"

namespace {

using cardwright::LedStep;
using cardwright::WindowPresenter;
using testsupport::PresenterUnderTest;
using Lines = std::vector<std::string>;

// The step list, one "colour time" text per row.
Lines Rows(const PresenterUnderTest& t) {
    Lines rows;
    for (const auto& row : t.window().Seen().led_steps) {
        rows.push_back(row.colour + " " + row.time);
    }
    return rows;
}

Lines Steps(Lines shown) {
    shown.resize(cardwright::kLedSteps, "-- --");
    return shown;
}

cardwright::Answer Chosen(const LedStep& step) {
    cardwright::Answer answer = testsupport::Accepted();
    answer.step = step;
    return answer;
}

TEST(LedPage, TheStepsOfTheSelectedStatusAsTheCardHoldsThem) {
    PresenterUnderTest t;
    EXPECT_TRUE(t.window().Seen().led_steps.empty()) << "no status selected yet";
    const auto select = [&](int status) {
        t.presenter().SelectLedStatus(status);
        t.WaitIdle();
        return Rows(t);
    };
    EXPECT_EQ(select(1), Steps({"Blue 5", "Off 5"}));
    EXPECT_EQ(select(4), Steps({}));
    EXPECT_EQ(select(6), Steps({"Yeallow 5", "Off 5"}));
    EXPECT_EQ(select(7), Steps({"Violet 1", "Off 9"}));
    EXPECT_TRUE(select(0).empty());
}

TEST(LedPage, EditingTheStepsAsTheListShowsThem) {
    PresenterUnderTest t;
    t.presenter().SelectLedStatus(5);
    t.WaitIdle();
    ASSERT_EQ(Rows(t), Steps({"Red 2", "Off 2", "Blue 2", "Off 2", "Cyan 1"}));
    const auto modify = [&](int step) {
        return t.Run([step](WindowPresenter& p) { return p.ModifyLedStep(step); });
    };

    // Step 7 after a step that ends the pattern: refused, no dialog.
    ASSERT_TRUE(modify(7));
    EXPECT_EQ(t.window().Messages(), Lines{"Please set the previous number first..."});
    EXPECT_EQ(t.window().Seen().asked.size(), 1u);

    // OK on the dialog as it was preset keeps the step; the row shows the dialog's entry.
    LedStep preset;
    t.window().answer_led = [&](const LedStep& shown) {
        preset = shown;
        return Chosen(shown);
    };
    ASSERT_TRUE(modify(1));
    EXPECT_EQ(preset, (LedStep{4, 2}));
    EXPECT_EQ(Rows(t).front(), "红色 2");

    t.window().answer_led = [](const LedStep&) { return Chosen({5, 20}); };
    ASSERT_TRUE(modify(2));
    EXPECT_EQ(Rows(t)[1], "青色 20");
    t.window().answer_led = [](const LedStep&) { return cardwright::Answer{}; };  // cancelled
    ASSERT_TRUE(modify(2));
    EXPECT_EQ(Rows(t)[1], "青色 20");

    // Deleting step 2 of five keeps steps 3 to 5, which the rebuilt list no longer shows.
    ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.DeleteLedStep(2); }));
    const Lines rows = Rows(t);
    EXPECT_EQ(Lines(rows.begin(), rows.begin() + 3), (Lines{"红色 2", "-- --", "Blue 2"}));
    ASSERT_TRUE(modify(3));
    EXPECT_EQ(t.window().Messages().size(), 2u) << "the row before shows no step";
    t.presenter().SelectLedStatus(5);
    t.WaitIdle();
    EXPECT_EQ(Rows(t), Steps({"Red 2"}));

    // The table holds what the page shows: Write sends step 5 of status 5 as it was.
    t.card().ClearCalls();
    ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.Write(); }));
    EXPECT_EQ(t.card().Nv(50013, 11), (std::vector<uint8_t>{0x04, 0x02, 0x00, 0x00, 0x01, 0x02,
                                                            0x00, 0x02, 0x03, 0x01, 0x00}));

    t.presenter().SelectLedStatus(5);
    t.WaitIdle();
    ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.DeleteAllLedSteps(); }));
    EXPECT_EQ(Rows(t), Steps({}));
    t.presenter().SelectLedStatus(6);
    t.WaitIdle();
    EXPECT_EQ(Rows(t).front(), "Yeallow 5") << "other statuses stay";
}

TEST(LedPage, TheDialogTakesOnlyTimesTheCardCanKeep) {
    using cardwright::LedTimeFromText;
    EXPECT_EQ(LedTimeFromText("20", 5), 20);
    EXPECT_EQ(LedTimeFromText("255", 5), 255);
    EXPECT_EQ(LedTimeFromText("-1", -1), -1) << "the step's own end mark, left as it was";
    for (const char* refused : {"256", "500", "-1", "abc", "", " 7"}) {
        EXPECT_FALSE(LedTimeFromText(refused, 5)) << refused;
    }
    const auto& offered = cardwright::LedTimeSuggestions();
    EXPECT_EQ(offered.back(), "200");
    EXPECT_EQ(std::find(offered.begin(), offered.end(), "500"), offered.end());
}

TEST(LedPage, ColoursByNameEntryOrCode) {
    using cardwright::LedPage;
    EXPECT_EQ(LedPage::ColourCode("Blue"), 2);
    EXPECT_EQ(LedPage::ColourCode("blue"), 2);
    EXPECT_EQ(LedPage::ColourCode("红色"), 4);
    EXPECT_EQ(LedPage::ColourCode("8"), 8);
    EXPECT_FALSE(LedPage::ColourCode("9"));
    EXPECT_FALSE(LedPage::ColourCode("Pink"));
}

// Chooses the stored solution of that name, and waits for its load.
void Choose(PresenterUnderTest& t, const std::string& name) {
    const auto entries = t.window().Seen().solutions;
    const auto at = std::find(entries.begin(), entries.end(), name);
    ASSERT_NE(at, entries.end()) << name;
    const int index = static_cast<int>(at - entries.begin());
    ASSERT_TRUE(t.Run([index](WindowPresenter& p) { return p.ChooseSolution(index); }));
}

// A stored solution's patterns go to the card as loaded: the first item, then the second; a
// time of -1 (a pattern's end) goes as 0. A solution without LED lines clears the page.
TEST(LedPage, AStoredSolutionsPatternsGoToTheCardAsLoaded) {
    PresenterUnderTest t;
    Choose(t, "Bench");
    t.presenter().SelectLedStatus(1);
    t.WaitIdle();
    EXPECT_EQ(Rows(t), Steps({"Blue 5", "Off 5"}));
    t.card().ClearCalls();
    ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.Write(); }));
    const auto calls = t.card().Calls();
    const auto first = std::find(calls.begin(), calls.end(), "WriteNv 50012");
    ASSERT_NE(first, calls.end());
    EXPECT_EQ(std::find(calls.begin(), first, "WriteNv 50013"), first);
    EXPECT_NE(std::find(first, calls.end(), "WriteNv 50013"), calls.end());
    const auto patterns = t.card().Nv(50012, 46);
    EXPECT_EQ(std::vector<uint8_t>(patterns.begin(), patterns.begin() + 4),
              (std::vector<uint8_t>{0x01, 0x05, 0x00, 0x05}));
    EXPECT_EQ(std::vector<uint8_t>(patterns.begin() + 40, patterns.end()),
              (std::vector<uint8_t>{0x04, 0x02, 0x00, 0x02, 0x00, 0x03}));
    EXPECT_EQ(t.card().Nv(50013, 5), (std::vector<uint8_t>{0x07, 0xFF, 0x05, 0x00, 0x00}));

    Choose(t, "NoLed");
    t.presenter().SelectLedStatus(1);
    t.WaitIdle();
    EXPECT_EQ(Rows(t), Steps({}));
}

// A stored time the card cannot keep stops the Write before anything is sent, and says where.
TEST(LedPage, ATimeTheCardCannotKeepStopsTheWrite) {
    PresenterUnderTest t;
    Choose(t, "BadLed");
    t.card().ClearCalls();
    ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.Write(); }));
    EXPECT_TRUE(
        t.Logged("LED status 6 (HSDPA) step 3: time 500 cannot be kept by the card (0 to "
                 "255)..."));
    EXPECT_EQ(t.window().Messages().back(), "Write to datacard failed...");
    for (const std::string& call : t.card().Calls()) {
        EXPECT_NE(call.rfind("WriteNv", 0), 0u) << call;
    }
}

// A card whose second LED item cannot be read: the page shows what came, but Write leaves the
// card's patterns alone.
TEST(LedPage, APartlyReadTableIsLeftAlone) {
    auto profile = testsupport::TestProfile();
    profile.nv.erase(50013);
    profile.inactive.insert(50013);
    PresenterUnderTest t(testsupport::PresenterSetup{profile});
    t.presenter().SelectLedStatus(1);
    t.WaitIdle();
    EXPECT_EQ(Rows(t), Steps({"Blue 5", "Off 5"}));
    t.card().ClearCalls();
    ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.Write(); }));
    EXPECT_EQ(t.card().Count("WriteNv 50012"), 0u);
    EXPECT_EQ(t.card().Count("WriteNv 50013"), 0u);
    const auto log = t.Log();
    EXPECT_NE(std::find_if(log.begin(), log.end(),
                           [](const std::string& line) {
                               return line.rfind("LED settings left unchanged", 0) == 0;
                           }),
              log.end());
}

}  // namespace
