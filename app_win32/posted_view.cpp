#include "app_win32/posted_view.h"

namespace cardwright::win32 {

void PostedView::ShowTab(Tab tab, const std::string& caption, bool visible) {
    queue_.Post([this, tab, caption, visible] { target_.ShowTab(tab, caption, visible); });
}

void PostedView::SelectTab(Tab tab) {
    queue_.Post([this, tab] { target_.SelectTab(tab); });
}

void PostedView::AddPageRows(Tab tab, const std::vector<PageRow>& rows) {
    queue_.Post([this, tab, rows] { target_.AddPageRows(tab, rows); });
}

void PostedView::RemoveItems(const std::vector<size_t>& items) {
    queue_.Post([this, items] { target_.RemoveItems(items); });
}

void PostedView::ShowItem(size_t item, const ItemState& state) {
    queue_.Post([this, item, state] { target_.ShowItem(item, state); });
}

void PostedView::HideItem(size_t item) {
    queue_.Post([this, item] { target_.HideItem(item); });
}

void PostedView::ShowCommonInfoList() {
    queue_.Post([this] { target_.ShowCommonInfoList(); });
}

void PostedView::ShowCommonInfo(CommonInfoRow row, const std::string& value) {
    queue_.Post([this, row, value] { target_.ShowCommonInfo(row, value); });
}

void PostedView::ShowLedSteps(const std::vector<LedStepRow>& rows) {
    queue_.Post([this, rows] { target_.ShowLedSteps(rows); });
}

void PostedView::ShowLedStep(int step, const LedStepRow& row) {
    queue_.Post([this, step, row] { target_.ShowLedStep(step, row); });
}

void PostedView::ShowSolutions(const std::vector<std::string>& names, int selected) {
    queue_.Post([this, names, selected] { target_.ShowSolutions(names, selected); });
}

void PostedView::SelectSolution(int index) {
    queue_.Post([this, index] { target_.SelectSolution(index); });
}

void PostedView::AppendLog(const std::vector<std::string>& lines) {
    queue_.Post([this, lines] { target_.AppendLog(lines); });
}

void PostedView::ShowStatus(const StatusText& status) {
    queue_.Post([this, status] { target_.ShowStatus(status); });
}

void PostedView::ShowSource(const std::string& source) {
    queue_.Post([this, source] { target_.ShowSource(source); });
}

void PostedView::ShowTitle(const std::string& title) {
    queue_.Post([this, title] { target_.ShowTitle(title); });
}

void PostedView::EnableCommands(bool enabled) {
    queue_.Post([this, enabled] { target_.EnableCommands(enabled); });
}

void PostedView::ShowMessage(QuestionId id, const std::string& text, MessageIcon icon) {
    queue_.Post([this, id, text, icon] { target_.ShowMessage(id, text, icon); });
}

void PostedView::AskYesNo(QuestionId id, const std::string& question) {
    queue_.Post([this, id, question] { target_.AskYesNo(id, question); });
}

void PostedView::AskFileName(QuestionId id, const FileQuestion& question) {
    queue_.Post([this, id, question] { target_.AskFileName(id, question); });
}

void PostedView::AskLedStep(QuestionId id, const LedStep& preset) {
    queue_.Post([this, id, preset] { target_.AskLedStep(id, preset); });
}

void PostedView::AskNewSolution(QuestionId id) {
    queue_.Post([this, id] { target_.AskNewSolution(id); });
}

void PostedView::ShowAbout(QuestionId id, const AboutText& about) {
    queue_.Post([this, id, about] { target_.ShowAbout(id, about); });
}

void PostedView::TakeScreenshot(QuestionId id, const std::string& file) {
    queue_.Post([this, id, file] { target_.TakeScreenshot(id, file); });
}

void PostedView::Synchronise(uint64_t token) {
    queue_.Post([this, token] { target_.Synchronise(token); });
}

void PostedView::BringToFront() {
    queue_.Post([this] { target_.BringToFront(); });
}

void PostedView::CloseWindow() {
    queue_.Post([this] { target_.CloseWindow(); });
}

void PostedView::ScriptFinished(int exit_status) {
    queue_.Post([this, exit_status] { target_.ScriptFinished(exit_status); });
}

}  // namespace cardwright::win32
