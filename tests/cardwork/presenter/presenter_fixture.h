#pragma once

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cardwork/model/model_clock.h"
#include "cardwork/presenter/window_presenter.h"
#include "tests/cardwork/card/card_work_fixture.h"
#include "tests/support/wait_until.h"

namespace testsupport {

// An answer of OK, Yes or a file chosen.
inline cardwright::Answer Accepted(std::string text = {}) {
    cardwright::Answer answer;
    answer.accepted = true;
    answer.text = std::move(text);
    return answer;
}

// What the window was asked, in the order asked.
struct Asked {
    enum class Kind {
        kMessage,
        kYesNo,
        kOpenFile,
        kSaveFile,
        kLedStep,
        kNewSolution,
        kAbout,
        kScreenshot
    };
    Kind kind;
    std::string text;  // the message, the question, the filter, the screenshot's file
    cardwright::LedStep preset;
    std::string status_then;  // what the status bar said when it was asked
};

// A window without a toolkit: it keeps what the presenter showed it and answers its questions
// as the test says, at once, from the presenter's thread, as a user who does not hesitate.
class RecordedWindow : public cardwright::WindowView {
  public:
    struct TabShown {
        std::string caption;
        bool visible = false;
    };
    // What the window shows.
    struct Screen {
        std::array<TabShown, cardwright::kTabCount> tabs{};
        std::optional<cardwright::Tab> selected_tab;
        std::map<size_t, cardwright::PageRow> rows;  // by item
        std::map<size_t, cardwright::Tab> row_tab;
        std::map<size_t, cardwright::ItemState> items;
        std::set<size_t> hidden;
        bool common_info_shown = false;
        std::array<std::string, cardwright::kCommonInfoRows> common_info{"--", "--", "--", "--",
                                                                         "--"};
        std::vector<cardwright::LedStepRow> led_steps;
        std::vector<std::string> solutions;
        int solution = -1;
        std::vector<std::string> log;
        cardwright::StatusText status;
        std::vector<std::string> statuses;  // every status shown, in order
        std::string source;
        std::string title = "Cardwright";
        bool commands_enabled = true;
        std::vector<Asked> asked;
        int brought_to_front = 0;
        int closed = 0;
        std::vector<int> script_statuses;  // of the scripts ended, in order
    };

    // As a window starts: "Common Info" and "Led Setting" shown, the described tabs hidden.
    RecordedWindow() {
        screen_.tabs[static_cast<size_t>(cardwright::Tab::kCommonInfo)] = {"Common Info", true};
        screen_.tabs[static_cast<size_t>(cardwright::Tab::kLed)] = {"Led Setting", true};
    }

    void Attach(cardwright::WindowPresenter& presenter) { presenter_ = &presenter; }

    // How the questions are answered.
    bool answer_yes = true;
    std::optional<std::string> open_file;  // nullopt: the dialog is cancelled
    std::optional<std::string> save_file;
    std::function<cardwright::Answer(const cardwright::LedStep& preset)> answer_led;
    std::function<cardwright::Answer()> answer_new_solution;
    // Left open: the id is kept, and the test answers (or the window closes).
    bool hold_questions = false;

    Screen Seen() const {
        std::lock_guard lock(mutex_);
        return screen_;
    }
    std::optional<cardwright::QuestionId> HeldQuestion() const {
        std::lock_guard lock(mutex_);
        return held_;
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> messages;
        for (const Asked& asked : Seen().asked) {
            if (asked.kind == Asked::Kind::kMessage) {
                messages.push_back(asked.text);
            }
        }
        return messages;
    }

    void ShowTab(cardwright::Tab tab, const std::string& caption, bool visible) override {
        Change([&](Screen& s) { s.tabs[static_cast<size_t>(tab)] = {caption, visible}; });
    }
    void SelectTab(cardwright::Tab tab) override {
        Change([&](Screen& s) { s.selected_tab = tab; });
    }
    void AddPageRows(cardwright::Tab tab, const std::vector<cardwright::PageRow>& rows) override {
        Change([&](Screen& s) {
            for (const auto& row : rows) {
                s.rows[row.item] = row;
                s.row_tab[row.item] = tab;
                s.items[row.item] = {};
            }
        });
    }
    void RemoveItems(const std::vector<size_t>& items) override {
        Change([&](Screen& s) {
            for (const size_t item : items) {
                s.rows.erase(item);
                s.row_tab.erase(item);
                s.items.erase(item);
                s.hidden.erase(item);
            }
        });
    }
    void ShowItem(size_t item, const cardwright::ItemState& state) override {
        Change([&](Screen& s) { s.items[item] = state; });
    }
    void HideItem(size_t item) override {
        Change([&](Screen& s) { s.hidden.insert(item); });
    }
    void ShowCommonInfoList() override {
        Change([&](Screen& s) { s.common_info_shown = true; });
    }
    void ShowCommonInfo(cardwright::CommonInfoRow row, const std::string& value) override {
        Change([&](Screen& s) { s.common_info[static_cast<size_t>(row)] = value; });
    }
    void ShowLedSteps(const std::vector<cardwright::LedStepRow>& rows) override {
        Change([&](Screen& s) { s.led_steps = rows; });
    }
    void ShowLedStep(int step, const cardwright::LedStepRow& row) override {
        Change([&](Screen& s) { s.led_steps.at(static_cast<size_t>(step - 1)) = row; });
    }
    void ShowSolutions(const std::vector<std::string>& names, int selected) override {
        Change([&](Screen& s) {
            s.solutions = names;
            s.solution = selected;
        });
    }
    void SelectSolution(int index) override {
        Change([&](Screen& s) { s.solution = index; });
    }
    void AppendLog(const std::vector<std::string>& lines) override {
        Change([&](Screen& s) { s.log.insert(s.log.end(), lines.begin(), lines.end()); });
    }
    void ShowStatus(const cardwright::StatusText& status) override {
        Change([&](Screen& s) {
            s.status = status;
            s.statuses.push_back(status.text);
        });
    }
    void ShowSource(const std::string& source) override {
        Change([&](Screen& s) { s.source = source; });
    }
    void ShowTitle(const std::string& title) override {
        Change([&](Screen& s) { s.title = title; });
    }
    void EnableCommands(bool enabled) override {
        Change([&](Screen& s) { s.commands_enabled = enabled; });
    }

    void ShowMessage(cardwright::QuestionId id, const std::string& text,
                     cardwright::MessageIcon) override {
        Ask(id, {Asked::Kind::kMessage, text, {}, {}}, [] { return Accepted(); });
    }
    void AskYesNo(cardwright::QuestionId id, const std::string& question) override {
        Ask(id, {Asked::Kind::kYesNo, question, {}, {}},
            [&] { return answer_yes ? Accepted() : cardwright::Answer{}; });
    }
    void AskFileName(cardwright::QuestionId id, const cardwright::FileQuestion& question) override {
        const auto kind = question.save ? Asked::Kind::kSaveFile : Asked::Kind::kOpenFile;
        Ask(id, {kind, question.filter, {}, {}}, [&] {
            const auto& file = question.save ? save_file : open_file;
            return file ? Accepted(*file) : cardwright::Answer{};
        });
    }
    void AskLedStep(cardwright::QuestionId id, const cardwright::LedStep& preset) override {
        Ask(id, {Asked::Kind::kLedStep, {}, preset, {}},
            [&] { return answer_led ? answer_led(preset) : cardwright::Answer{}; });
    }
    void AskNewSolution(cardwright::QuestionId id) override {
        Ask(id, {Asked::Kind::kNewSolution, {}, {}, {}},
            [&] { return answer_new_solution ? answer_new_solution() : cardwright::Answer{}; });
    }
    void ShowAbout(cardwright::QuestionId id, const cardwright::AboutText& about) override {
        Ask(id, {Asked::Kind::kAbout, about.product + " / " + about.version, {}, {}},
            [] { return Accepted(); });
    }
    void TakeScreenshot(cardwright::QuestionId id, const std::string& file) override {
        Ask(id, {Asked::Kind::kScreenshot, file, {}, {}}, [] { return Accepted(); });
    }
    void Synchronise(uint64_t token) override { presenter_->Synchronised(token); }
    void BringToFront() override {
        Change([&](Screen& s) { ++s.brought_to_front; });
    }
    void CloseWindow() override {
        Change([&](Screen& s) { ++s.closed; });
    }
    void ScriptFinished(int exit_status) override {
        Change([&](Screen& s) { s.script_statuses.push_back(exit_status); });
    }

  private:
    template <class Edit>
    void Change(Edit edit) {
        std::lock_guard lock(mutex_);
        edit(screen_);
    }
    template <class Answering>
    void Ask(cardwright::QuestionId id, Asked asked, Answering answering) {
        {
            std::lock_guard lock(mutex_);
            asked.status_then = screen_.status.text;
            screen_.asked.push_back(std::move(asked));
            if (hold_questions) {
                held_ = id;
                return;
            }
        }
        presenter_->Answer(id, answering());
    }

    mutable std::mutex mutex_;
    Screen screen_;
    std::optional<cardwright::QuestionId> held_;
    cardwright::WindowPresenter* presenter_ = nullptr;
};

// The log's time stamps: always the same, so that only the messages differ.
class FixedDateTime : public cardwright::DateTimeFormat {
  public:
    std::string LogTimestamp(std::chrono::system_clock::time_point) const override {
        return "2026-12-9 9:05:31";
    }
};

// How a presenter under test starts.
struct PresenterSetup {
    // The card plugged in at start; none when empty.
    std::optional<cardsim::CardProfile> card = TestProfile();
    // Changes the folder's INI files before the presenter opens them.
    std::function<void(const std::filesystem::path& folder)> prepare = {};
    // The start-up sequence runs (and ends) before the test goes on.
    bool start = true;
};

// The test card, with `values` as the configuration folder's config_value.ini.
inline PresenterSetup WithValues(const std::string& values) {
    return {TestProfile(), [values](const std::filesystem::path& folder) {
                Put(folder / "config_value.ini", values);
            }};
}

// The presenter over the test description, its card in memory and its window recorded; the
// log's pause runs a thousand times faster.
class PresenterUnderTest {
  public:
    explicit PresenterUnderTest(PresenterSetup setup = {}) : card_(std::move(setup.card)) {
        for (const char* file : {"Config_Info.ini", "config_value.ini"}) {
            std::filesystem::copy_file(kTestData / file, dir_.Path() / file);
        }
        if (setup.prepare) {
            setup.prepare(dir_.Path());
        }
        presenter_.emplace(window_, card_, date_time_, dir_.Path());
        window_.Attach(*presenter_);
        opened_ = presenter_->Open();
        if (setup.start && opened_.ok) {
            Run([](cardwright::WindowPresenter& p) { return p.StartUp(); });
        }
    }

    // Asks for a command and waits for its end; false when it was refused.
    bool Run(const std::function<bool(cardwright::WindowPresenter&)>& command) {
        const bool taken = command(*presenter_);
        WaitIdle();
        return taken;
    }
    void WaitIdle() {
        if (!WaitUntil([&] { return !presenter_->CommandRunning(); }, std::chrono::seconds(30))) {
            throw std::runtime_error("the command did not end");
        }
    }

    cardwright::WindowPresenter& presenter() { return *presenter_; }
    RecordedWindow& window() { return window_; }
    const RecordedWindow& window() const { return window_; }
    MemoryCard& card() { return card_; }
    const MemoryCard& card() const { return card_; }
    const std::filesystem::path& Dir() const { return dir_.Path(); }
    const cardwright::WindowPresenter::Opened& Opened() const { return opened_; }

    // The log's messages, without their time stamps (the earlier runs' lines as they are).
    std::vector<std::string> Log() const {
        std::vector<std::string> messages;
        for (const std::string& line : window_.Seen().log) {
            const size_t at = line.find("  ");
            messages.push_back(at == std::string::npos ? line : line.substr(at + 2));
        }
        return messages;
    }
    bool Logged(const std::string& message) const {
        const auto log = Log();
        return std::find(log.begin(), log.end(), message) != log.end();
    }

    // The item of that name, as the window shows it.
    size_t Item(const std::string& name) const {
        for (const auto& [item, row] : window_.Seen().rows) {
            if (row.name == name) {
                return item;
            }
        }
        throw std::out_of_range("no row for " + name);
    }
    cardwright::ItemState Shown(const std::string& name) const {
        return window_.Seen().items.at(Item(name));
    }
    // The user ticks the item and puts `text` in its box (a pick-only box: the entry of that
    // text); the window shows it, and tells the presenter.
    void Edit(const std::string& name, const std::string& text) {
        const size_t item = Item(name);
        const cardwright::PageRow row = window_.Seen().rows.at(item);
        int entry = -1;
        for (size_t i = 0; i < row.choices.size() && !row.editable; ++i) {
            if (row.choices[i] == text) {
                entry = static_cast<int>(i);
            }
        }
        window_.ShowItem(item, {text, entry, true});
        presenter_->ItemEdited(item, text, entry, true);
    }

  private:
    TempDir dir_;
    std::shared_ptr<void> clock_ =
        cardwright::InstallAppClock(std::make_shared<cardwright::TestClock>(1000));
    MemoryCard card_;
    RecordedWindow window_;
    FixedDateTime date_time_;
    std::optional<cardwright::WindowPresenter> presenter_;
    cardwright::WindowPresenter::Opened opened_;
};

}  // namespace testsupport
