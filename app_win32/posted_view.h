#pragma once

#include "app_win32/call_queue.h"
#include "cardwork/presenter/window_view.h"

namespace cardwright::win32 {

// The presenter's face of the window: every call, from whatever thread, is copied into a closure
// and carried out by `target` on the window's thread through the queue, in order. Nothing here
// waits for the window.
class PostedView final : public WindowView {
  public:
    PostedView(WindowView& target, CallQueue& queue) : target_(target), queue_(queue) {}

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
    WindowView& target_;
    CallQueue& queue_;
};

}  // namespace cardwright::win32
