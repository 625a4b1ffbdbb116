#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/card/work_result.h"
#include "cardwork/presenter/command_thread.h"
#include "cardwork/presenter/item_pages.h"
#include "cardwork/presenter/led_page.h"
#include "cardwork/presenter/operation_log.h"
#include "cardwork/presenter/script_runner.h"
#include "cardwork/presenter/view_channel.h"
#include "cardwork/presenter/window_presenter.h"

namespace cardwright {

// Asked before an export reads the card again over values not yet written to it.
inline constexpr std::string_view kExportRereadQuestion =
    "Export reads the card again; the changes not yet written to the card will be lost. "
    "Export anyway?";

// What WindowPresenter does, behind its public face. Its state belongs to the worker thread:
// the members the window's thread calls only hand work to the worker, or note the user's edits
// under their own lock.
class PresenterCore : private CardWorkView, private ProgressSink, private ScriptTarget {
  public:
    PresenterCore(WindowView& view, CardAccess& card, const DateTimeFormat& date_time,
                  std::filesystem::path config_folder, CardLender lender);
    ~PresenterCore() override;

    // The window's thread.
    WindowPresenter::Opened Open();
    bool StartUp();
    bool Read();
    bool Write();
    bool Import();
    bool Export();
    bool About();
    bool ChooseSolution(int index);
    bool NewSolution();
    bool DeleteSolution();
    void SelectLedStatus(int status);
    bool ModifyLedStep(int step);
    bool DeleteLedStep(int step);
    bool DeleteAllLedSteps();
    void ItemEdited(size_t item, const std::string& text, int entry, bool ticked);
    void TabShown(Tab tab);
    bool Close();
    void Answer(QuestionId id, const cardwright::Answer& answer) { channel_.Answer(id, answer); }
    void Synchronised(uint64_t token) { channel_.Synchronised(token); }
    void RunScript(std::vector<std::string> lines, std::ostream& out, std::ostream& err);
    std::optional<WindowState> SavedWindowState() const;
    void SaveWindowState(const WindowState& state) const;
    bool CommandRunning() const { return thread_.Busy(); }

  private:
    // The values and LED lines the window shows.
    struct ScreenValues {
        std::vector<std::pair<std::string, bool>> items;  // text, ticked
        std::vector<std::string> led;
        friend bool operator==(const ScreenValues&, const ScreenValues&) = default;
    };
    struct Edit {
        std::string text;
        int entry = -1;
        bool ticked = false;
    };

    // Hands a command to the worker: it runs with the commands and inputs disabled, takes the
    // user's edits first, and leaves its outcome in the status bar. `name` says which command
    // a close waits for.
    bool Submit(std::string name, std::function<void()> body);
    // Work of the LED page and the About box: one at a time as well, but the window's commands
    // and status stay as they are.
    bool SubmitQuiet(std::function<void()> body);
    void RunFramed(const std::string& name, const std::function<void()>& body);
    void Guarded(const std::function<void()>& body);
    void TakeEdits();
    void ReshowRefusedEdits();
    // What the status bar says while a close waits for the command `name`.
    static std::string ClosingNote(const std::string& name);
    std::string RunningName();

    // The commands' work, on the worker.
    void StartUpSequence();
    void ReadSequence();
    void WriteSequence();
    void ImportSequence();
    void ExportSequence();
    void CreateSolution(const std::string& name, bool led);
    void DeleteSelectedSolution();
    // Changes a step of the selected status to `chosen`, or to what the LED step dialog gives;
    // false when nothing changed.
    bool ModifyStep(int step, const std::optional<LedStep>& chosen);
    void ReopenIniFiles();
    void BuildConfigPages();
    void RebuildConfigPages();
    void LoadSolutionList();
    void LoadCurrentSolution();
    void ReadFromCardAndReport();
    void ShowSolutionEntry(int index);
    void RunPendingScript();

    // The status bar, the panel beside it and the title.
    // What the command came to, in the status bar at once; `ok` tells a script whether it went
    // through. A `file` named in the text is the part to shorten.
    void ShowOutcome(const std::string& text, bool ok,
                     const std::optional<std::filesystem::path>& file = {});
    void ShowSource(const std::string& text);
    void ShowStatus(const StatusText& status);

    // The user's side: a message box, a yes/no question, a file name; a script answers them.
    void Message(const std::string& text);
    bool YesNo(const std::string& question);
    std::optional<std::filesystem::path> FileName(bool save);

    ScreenValues OnScreen() const;
    void Settle() { settled_ = OnScreen(); }
    CardWorkSeams Seams() { return {card_, log_, *this, *this}; }

    // CardWorkView.
    void DescribedPagesHidden() override { pages_.HideDescribedTabs(); }
    void CommonInfoShown(CommonInfoRow row) override;
    void LedStepsCleared() override;
    void RebuildPages(CardWorkState& state, const IniFile& description) override;
    void ShowMessage(std::string_view text) override { Message(std::string(text)); }
    std::optional<std::filesystem::path> AskOpenFileName() override { return FileName(false); }
    std::optional<std::filesystem::path> AskSaveFileName() override { return FileName(true); }
    bool ConfirmReread() override;
    void WriteEnding() override { channel_.View().BringToFront(); }
    // ProgressSink.
    void Report(const WorkProgress& progress) override;
    // ScriptTarget.
    LineResult ReadCommand() override;
    LineResult WriteCommand() override;
    LineResult ImportCommand(const std::string& file) override;
    LineResult ExportCommand(const std::string& file) override;
    LineResult SelectValue(const std::string& item, const std::string& text) override;
    LineResult SaveSolution(const std::string& name) override;
    LineResult SelectSolution(const std::string& name) override;
    LineResult SetLedStep(int status, int step, const std::string& colour,
                          const std::string& time) override;
    LineResult WaitForCard(int seconds) override;
    LineResult SelectTab(const std::string& caption) override;
    LineResult Screenshot(const std::string& file) override;
    const std::vector<std::string>& LogLines() const override { return log_.Lines(); }
    bool Closing() const override { return channel_.Closed(); }
    // A script's command: run as the window runs it, failed when its outcome is no success.
    LineResult ScriptCommand(const std::string& name, const std::function<void()>& body);

    LentCard card_;  // borrowed for each command that opens it, given back at its end
    const std::filesystem::path folder_;
    ViewChannel channel_;
    CardWorkState state_;
    std::optional<IniFile> description_;
    std::optional<IniFile> values_;
    ItemPages pages_;
    LedPage led_page_;
    OperationLog log_;
    std::vector<std::string> solutions_;  // the chooser's entries
    int selected_solution_ = -1;
    ScreenValues settled_;  // as last read, loaded or written
    StatusText outcome_;
    bool command_ok_ = true;  // what the command under way came to, for a script
    ScriptRunner* script_ = nullptr;
    std::optional<std::filesystem::path> script_file_;  // a script's answer to the file dialog

    // Shared with the window's thread.
    std::mutex shared_mutex_;
    std::map<size_t, Edit> edits_;
    std::vector<size_t> refused_edits_;  // made while a command ran: shown back as they were
    bool solution_refused_ = false;      // a choice of solution while a command ran
    std::string running_name_;           // the command under way
    Tab shown_tab_ = Tab::kCommonInfo;
    std::unique_ptr<ScriptRunner> pending_script_;
    bool started_up_ = false;

    // Last: it ends (and waits for the worker) before anything the worker uses goes.
    CommandThread thread_;
};

}  // namespace cardwright
