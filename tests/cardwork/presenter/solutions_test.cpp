// The solutions of config_value.ini: the card solution and its LED flag, stored ones, new ones
// and deleted ones.
#include <gtest/gtest.h>

#include "tests/cardwork/presenter/presenter_fixture.h"
#include "tests/support/files.h"

namespace {

using cardwright::IniFile;
using cardwright::Tab;
using cardwright::WindowPresenter;
using testsupport::PresenterSetup;
using testsupport::PresenterUnderTest;
using testsupport::WithValues;
using Lines = std::vector<std::string>;

bool LedTabShown(const PresenterUnderTest& t) {
    return t.window().Seen().tabs[static_cast<size_t>(Tab::kLed)].visible;
}

TEST(Solutions, TheCardSolutionCarriesTheLedFlag) {
    const struct {
        const char* values;
        bool led;
    } cases[] = {
        {"[MAIN]\ncurrent=DEFAULT\n[DEFAULT]\nConfigLed=1\n", true},
        {"[MAIN]\ncurrent=DEFAULT\n[DEFAULT]\nConfigLed=0\n", false},
        {"[MAIN]\ncurrent=default\n[Default]\nOther=1\n", true},  // no flag: true
    };
    for (const auto& c : cases) {
        PresenterUnderTest t(WithValues(c.values));
        EXPECT_TRUE(t.Logged("Read from datacard succeed...")) << c.values;
        EXPECT_EQ(LedTabShown(t), c.led) << c.values;
        EXPECT_EQ(t.Logged("Read LED info from datacard..."), c.led) << c.values;
        t.card().ClearCalls();
        ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.Write(); }));
        EXPECT_EQ(t.card().Count("WriteNv 50012"), c.led ? 1u : 0u) << c.values;
    }
}

// Solutions are written by hand: a typo costs its own key, and everything else loads.
TEST(Solutions, AStoredValueThatIsNoNumberLeavesOnlyItsItemEmpty) {
    PresenterUnderTest t(
        WithValues("[MAIN]\ncurrent=Bad\n[Bad]\nB_LOW=7\nBAND=1|x|7\nTIMER=60O\nB_HIGH=300\n"
                   "LED_STATUS1=2,5|\n"));
    EXPECT_TRUE(t.Logged("Value of BAND \"1|x|7\" is not a decimal integer: left empty..."));
    EXPECT_TRUE(t.Logged("Value of TIMER \"60O\" is not a decimal integer: left empty..."));
    EXPECT_EQ(t.Shown("B_LOW").text, "7");
    EXPECT_EQ(t.Shown("B_HIGH").text, "300");
    EXPECT_EQ(t.Shown("BAND").text, "");
    EXPECT_EQ(t.Shown("TIMER").text, "");
    t.presenter().SelectLedStatus(1);
    t.WaitIdle();
    EXPECT_EQ(t.window().Seen().led_steps.front().colour, "Blue");
}

TEST(Solutions, WithoutMainNothingIsLoadedOrRead) {
    PresenterUnderTest t(WithValues("[DEFAULT]\nConfigLed=1\n[Other]\nB_LOW=7\n"));
    EXPECT_EQ(t.window().Seen().solution, -1);
    EXPECT_TRUE(t.card().Calls().empty());
    EXPECT_EQ(t.Shown("B_LOW").text, "");
    EXPECT_EQ(t.window().Seen().status.text,
              "Nothing shown: config_value.ini names no solution that exists");
}

TEST(Solutions, ChoosingTheCardSolutionReadsTheCard) {
    PresenterUnderTest t(WithValues("[MAIN]\ncurrent=Stored\n[DEFAULT]\n[Stored]\nB_LOW=9\n"));
    EXPECT_TRUE(t.card().Calls().empty());
    ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.ChooseSolution(0); }));
    EXPECT_TRUE(t.Logged("Read from datacard succeed..."));
    EXPECT_EQ(t.Shown("B_LOW").text, "7");
    EXPECT_EQ(t.window().Seen().solution, 0);
}

TEST(Solutions, ANewSolutionIsMadeCurrentAndShowsNothing) {
    PresenterUnderTest t(WithValues("[MAIN]\ncurrent=DEFAULT\n[DEFAULT]\nConfigLed=1\n"));
    std::string typed;
    bool led = false;
    bool confirm = true;
    t.window().answer_new_solution = [&] {
        cardwright::Answer answer;
        answer.accepted = confirm;
        answer.text = typed;
        answer.flag = led;
        return answer;
    };
    const auto create = [&] { return t.Run([](WindowPresenter& p) { return p.NewSolution(); }); };
    typed = "default";
    ASSERT_TRUE(create());
    EXPECT_EQ(t.window().Messages(), Lines{"The soluation name had exists..."});

    typed = "   ";  // a blank name, then a cancelled dialog
    ASSERT_TRUE(create());
    typed = "Field";
    confirm = false;
    ASSERT_TRUE(create());
    EXPECT_EQ(t.window().Seen().solutions, Lines{"DEFAULT"});

    typed = "  Field  ";
    confirm = true;
    t.card().ClearCalls();
    ASSERT_TRUE(create());
    EXPECT_EQ(t.window().Seen().solutions, (Lines{"DEFAULT", "Field"}));
    EXPECT_EQ(t.window().Seen().solution, 1);
    const IniFile values(t.Dir() / "config_value.ini");
    EXPECT_EQ(values.ReadString("MAIN", "current", ""), "Field");
    EXPECT_EQ(values.ReadString("Field", "ConfigLed", ""), "0");
    EXPECT_FALSE(LedTabShown(t));
    EXPECT_EQ(t.Shown("B_LOW").text, "");
    EXPECT_TRUE(t.card().Calls().empty());
}

// Deleting the current solution leaves MAIN pointing at nothing: the first entry is loaded.
// The card solution stays.
TEST(Solutions, DeletingSolutions) {
    PresenterUnderTest t(WithValues(
        "[MAIN]\ncurrent=Second\n[DEFAULT]\nConfigLed=1\n[First]\nB_LOW=9\n[Second]\nB_LOW=7\n"));
    EXPECT_EQ(t.Shown("B_LOW").text, "7");
    const auto remove = [&] {
        return t.Run([](WindowPresenter& p) { return p.DeleteSolution(); });
    };
    ASSERT_TRUE(remove());
    EXPECT_EQ(t.window().Seen().solutions, (Lines{"DEFAULT", "First"}));
    const IniFile values(t.Dir() / "config_value.ini");
    EXPECT_FALSE(values.SectionExists("Second"));
    EXPECT_EQ(values.ReadString("MAIN", "current", ""), "Second");
    EXPECT_EQ(t.window().Seen().solution, 0);
    EXPECT_TRUE(t.Logged("Read from datacard succeed..."));

    ASSERT_TRUE(remove());
    EXPECT_EQ(t.window().Seen().solutions, (Lines{"DEFAULT", "First"}));
}

}  // namespace
