#pragma once

#include <windows.h>

#include <memory>
#include <optional>

#include "app_win32/call_queue.h"
#include "app_win32/item_rows.h"
#include "app_win32/led_lists.h"
#include "app_win32/list_view.h"
#include "app_win32/log_view.h"
#include "app_win32/owned.h"
#include "app_win32/page_control.h"
#include "app_win32/program_dialogs.h"
#include "app_win32/splitter.h"
#include "app_win32/status_bar.h"
#include "app_win32/user_actions.h"
#include "app_win32/window_commands.h"
#include "cardwork/presenter/window_view.h"

namespace cardwright::win32 {

// TMainFrm on Windows: the Win32 window over the presenter. It draws what the presenter tells
// it (WindowView, on this window's thread: the presenter's calls reach it through PostedView and
// the window's queue of calls) and forwards its user's actions to the presenter.
class MainWindow final : public WindowView {
  public:
    MainWindow();
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND Handle() const { return window_; }
    // Where the presenter's calls wait for this window's thread.
    CallQueue& Calls() { return calls_; }

    // Where the window's commands go: the presenter (it outlives the message loop). The start-up
    // sequence begins 500 ms after the window is shown.
    void Attach(UserActions& presenter);
    // Shows the window where it was last time (or at its first size), with the log's height.
    void Show(const std::optional<WindowState>& state);
    // The message loop, until the window is gone: the program's exit status.
    int Run();

    // What the window shows, for the program's own checks.
    const ItemRows& Rows() const { return rows_; }
    const PageControl& Pages() const { return pages_; }
    const StatusBar& Status() const { return status_; }
    const LogView& Log() const { return log_; }
    const LedLists& Led() const { return *led_; }
    const ListView& CommonInfo() const { return common_info_; }
    const Splitter& SplitterBar() const { return splitter_; }
    HACCEL Accelerators() const { return accelerators_.Get(); }
    bool CommandsEnabled() const { return commands_enabled_; }
    WindowState State() const;

    // WindowView, on this window's thread.
    void ShowTab(Tab tab, const std::string& caption, bool visible) override;
    void SelectTab(Tab tab) override;
    void AddPageRows(Tab tab, const std::vector<PageRow>& rows) override;
    void RemoveItems(const std::vector<size_t>& items) override;
    void ShowItem(size_t item, const ItemState& state) override;
    void HideItem(size_t item) override;
    void ShowCommonInfoList() override;
    void ShowCommonInfo(CommonInfoRow row, const std::string& value) override;
    void ShowLedSteps(const std::vector<LedStepRow>& rows) override;
    void ShowLedStep(int step, const LedStepRow& row) override;
    void ShowSolutions(const std::vector<std::string>& names, int selected) override;
    void SelectSolution(int index) override;
    void AppendLog(const std::vector<std::string>& lines) override;
    void ShowStatus(const StatusText& status) override;
    void ShowSource(const std::string& source) override;
    void ShowTitle(const std::string& title) override;
    void EnableCommands(bool enabled) override;
    void ShowMessage(QuestionId id, const std::string& text, MessageIcon icon) override;
    void AskYesNo(QuestionId id, const std::string& question) override;
    void AskFileName(QuestionId id, const FileQuestion& question) override;
    void AskLedStep(QuestionId id, const LedStep& preset) override;
    void AskNewSolution(QuestionId id) override;
    void ShowAbout(QuestionId id, const AboutText& about) override;
    void TakeScreenshot(QuestionId id, const std::string& file) override;
    void Synchronise(uint64_t token) override;
    void BringToFront() override;
    void CloseWindow() override;
    void ScriptFinished(int exit_status) override;

  private:
    static HWND CreateFrame(MainWindow* self);
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);
    void Layout();
    void MoveSplitter(int top);
    void Command(int id, int code, HWND control);
    LRESULT Notify(const NMHDR& header);
    void LedRequest(const LedLists::Request& request);
    void Close();
    void Rescale(UINT dpi, LPARAM suggested);
    void Answered(QuestionId id, const Answer& answer);

    HWND window_ = nullptr;
    CallQueue calls_;
    UINT dpi_;
    OwnedFont font_;
    OwnedAccelerators accelerators_;
    UserActions* presenter_ = nullptr;
    std::unique_ptr<ToolBar> tool_bar_;
    PageControl pages_;
    ListView common_info_;
    std::unique_ptr<LedLists> led_;
    ItemRows rows_;
    LogView log_;
    Splitter splitter_;
    StatusBar status_;
    LedSettingDialog led_dialog_;
    NewSolutionDialog new_solution_dialog_;
    int log_height_;  // at 96 DPI
    bool commands_enabled_ = true;
    bool started_ = false;  // the start-up sequence has been handed to the presenter
    int exit_status_ = 0;
    bool ready_ = false;  // every part is made: the window handles its messages
};

}  // namespace cardwright::win32
