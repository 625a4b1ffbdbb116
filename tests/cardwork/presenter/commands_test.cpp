// One command at a time on the presenter's worker: what is refused while one runs, what the
// user's edits meanwhile come to, and a window closed during a command.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "tests/cardwork/presenter/presenter_fixture.h"
#include "tests/support/files.h"

namespace {

using cardwright::WindowPresenter;
using testsupport::PresenterUnderTest;
using testsupport::WaitUntil;
using Lines = std::vector<std::string>;

// Holds the card's calls at the first one named `call` until released.
class HeldCall {
  public:
    HeldCall(testsupport::MemoryCard& card, std::string call) : card_(card) {
        card_.on_call = [this, call = std::move(call)](const std::string& made) {
            if (made == call && !reached_.exchange(true)) {
                released_.wait();
            }
        };
    }
    ~HeldCall() { Release(); }
    bool Reached() const { return reached_; }
    void Release() {
        if (!released_once_) {
            released_once_ = true;
            release_.set_value();
        }
    }

  private:
    testsupport::MemoryCard& card_;
    std::promise<void> release_;
    std::shared_future<void> released_ = release_.get_future().share();
    std::atomic<bool> reached_{false};
    bool released_once_ = false;
};

TEST(Commands, AnotherCommandIsRefusedWhileOneRuns) {
    PresenterUnderTest t;
    t.card().ClearCalls();
    HeldCall held(t.card(), "ReadNv 60040");
    ASSERT_TRUE(t.presenter().Read());
    ASSERT_TRUE(WaitUntil([&] { return held.Reached(); }));
    EXPECT_FALSE(t.window().Seen().commands_enabled);
    EXPECT_FALSE(t.presenter().Write());
    EXPECT_FALSE(t.presenter().Export());
    EXPECT_FALSE(t.presenter().NewSolution());
    EXPECT_EQ(t.window().Seen().status.text, "Busy: the running command must end first");
    held.Release();
    t.WaitIdle();
    EXPECT_TRUE(t.window().Seen().commands_enabled);
    EXPECT_EQ(t.card().Count("Backup"), 0u) << "the refused Write never runs";
    EXPECT_EQ(t.card().Count("Open"), 1u);
    EXPECT_EQ(t.window().Seen().status.text, "Read: done, 20 items, 1 not read");
}

// An edit that reaches the presenter while a command runs is not taken later over what the
// command showed: the box gets the item's value back.
TEST(Commands, AnEditDuringACommandIsGivenBack) {
    PresenterUnderTest t;
    HeldCall held(t.card(), "ReadNv 60070");
    ASSERT_TRUE(t.presenter().Read());
    ASSERT_TRUE(WaitUntil([&] { return held.Reached(); }));
    t.Edit("B_LOW", "9");
    held.Release();
    t.WaitIdle();
    EXPECT_EQ(t.Shown("B_LOW").text, "7");
    t.card().ClearCalls();
    ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.Write(); }));
    EXPECT_EQ(t.card().Nv(60000, 1), std::vector<uint8_t>{7});
}

// A solution chosen while a read runs is not loaded: the read ends as it would have (here it
// finds no card), and the chooser shows the solution shown again.
TEST(Commands, ASolutionChosenDuringACommandIsGivenBack) {
    PresenterUnderTest t(testsupport::PresenterSetup{std::nullopt});
    const auto entries = t.window().Seen().solutions;
    const auto bench = std::find(entries.begin(), entries.end(), "Bench");
    ASSERT_NE(bench, entries.end());
    const int chosen = static_cast<int>(bench - entries.begin());
    const int shown = t.window().Seen().solution;
    ASSERT_EQ(entries.at(static_cast<size_t>(shown)), "DEFAULT");
    const size_t lines = t.Log().size();
    HeldCall held(t.card(), "Open");
    ASSERT_TRUE(t.presenter().Read());
    ASSERT_TRUE(WaitUntil([&] { return held.Reached(); }));
    t.window().SelectSolution(chosen);  // as the user left the chooser
    EXPECT_FALSE(t.presenter().ChooseSolution(chosen));
    held.Release();
    t.WaitIdle();
    EXPECT_EQ(t.window().Seen().solution, shown);
    const auto log = t.Log();
    EXPECT_EQ(Lines(log.begin() + static_cast<ptrdiff_t>(lines), log.end()),
              (Lines{"Init port failed", "Failed to read data from datacard..."}));
}

// Closing the window while Write runs: the Write goes to its end (the card backed up and
// restarted, not left half written), the status bar says why the window stays, then it closes.
TEST(Commands, ClosingDuringAWriteWaitsForItsEnd) {
    PresenterUnderTest t;
    t.card().ClearCalls();
    HeldCall held(t.card(), "WriteNv 60010");
    ASSERT_TRUE(t.presenter().Write());
    ASSERT_TRUE(WaitUntil([&] { return held.Reached(); }));
    EXPECT_FALSE(t.presenter().Close());
    EXPECT_EQ(t.window().Seen().status.text, "The window closes once Write has ended");
    EXPECT_EQ(t.window().Seen().closed, 0);
    held.Release();
    t.WaitIdle();
    ASSERT_TRUE(WaitUntil([&] { return t.window().Seen().closed == 1; }));
    EXPECT_EQ(t.card().Count("Backup"), 1u);
    EXPECT_EQ(t.card().Count("Restart"), 1u);
    EXPECT_TRUE(t.Logged("Write to datacard succeed..."));
    // Nobody is left to read the Write's message box: it is not shown.
    EXPECT_TRUE(t.window().Messages().empty());
    const auto statuses = t.window().Seen().statuses;
    EXPECT_NE(std::find(statuses.begin(), statuses.end(),
                        "The window closes once Write has ended: Writing 5 of 20: Band extra"),
              statuses.end());
    EXPECT_FALSE(t.window().Seen().commands_enabled) << "nothing more is started";
    EXPECT_TRUE(t.presenter().Close());
}

// A question open when the window closes is answered as cancelled: Export asks before it reads
// the card over a change, and ends without reading or writing anything.
TEST(Commands, AQuestionOpenWhenTheWindowClosesIsCancelled) {
    PresenterUnderTest t;
    t.Edit("MODE", "Fast");
    t.window().hold_questions = true;
    t.window().save_file = (t.Dir() / "cards.ini").string();
    t.card().ClearCalls();
    ASSERT_TRUE(t.presenter().Export());
    ASSERT_TRUE(WaitUntil([&] { return t.window().HeldQuestion().has_value(); }));
    EXPECT_EQ(t.window().Seen().asked.back().kind, testsupport::Asked::Kind::kYesNo);
    EXPECT_FALSE(t.presenter().Close());
    t.WaitIdle();
    EXPECT_TRUE(WaitUntil([&] { return t.window().Seen().closed == 1; }));
    EXPECT_EQ(t.card().Count("ReadNv 60000"), 0u);
    EXPECT_FALSE(std::filesystem::exists(t.Dir() / "cards.ini"));
    EXPECT_EQ(t.window().Seen().status.text, "Export cancelled");
    // An answer that comes after all is too late for anything.
    t.presenter().Answer(*t.window().HeldQuestion(), testsupport::Accepted());
}

TEST(Commands, TheAboutBoxSaysWhatTheProgramIs) {
    PresenterUnderTest t;
    ASSERT_TRUE(t.Run([](WindowPresenter& p) { return p.About(); }));
    const auto asked = t.window().Seen().asked;
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, testsupport::Asked::Kind::kAbout);
    EXPECT_EQ(asked[0].text, "Product Name: Cardwright / Version: V100R001B204");
}

// The window's size and place come back as they were left; nothing is taken up on the first
// run.
TEST(Commands, TheWindowStateIsKeptBetweenRuns) {
    PresenterUnderTest t;
    EXPECT_FALSE(t.presenter().SavedWindowState());
    const cardwright::WindowState left{120, 90, 900, 640, false, 150};
    t.presenter().SaveWindowState(left);
    const auto again = t.presenter().SavedWindowState();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->x, 120);
    EXPECT_EQ(again->height, 640);
    EXPECT_EQ(again->log_height, 150);
    testsupport::Put(t.Dir() / "window-state.ini", "[window]\r\nwidth=0\r\n");
    EXPECT_FALSE(t.presenter().SavedWindowState());
}

}  // namespace
