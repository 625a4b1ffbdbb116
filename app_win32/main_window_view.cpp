#include <windows.h>

#include <commdlg.h>

#include <algorithm>

#include "app_win32/dpi.h"
#include "app_win32/main_window.h"
#include "app_win32/wide_text.h"
#include "app_win32/window_picture.h"

namespace cardwright::win32 {

namespace {

constexpr const wchar_t* kMessageCaption = L"Cardwright";
constexpr size_t kLongestPath = 32768;

UINT IconStyle(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kWarning:
            return MB_ICONWARNING;
        case MessageIcon::kError:
            return MB_ICONERROR;
        case MessageIcon::kInformation:
        default:
            return MB_ICONINFORMATION;
    }
}

// "Ini Files|*.ini" as the file dialogs take it: each part ended by a zero, two at the end.
std::wstring DialogFilter(const std::string& filter) {
    std::wstring parts = Wide(filter);
    std::replace(parts.begin(), parts.end(), L'|', L'\0');
    parts.push_back(L'\0');
    parts.push_back(L'\0');
    return parts;
}

Answer Closed(bool accepted) {
    Answer answer;
    answer.accepted = accepted;
    return answer;
}

}  // namespace

void MainWindow::ShowTab(Tab tab, const std::string& caption, bool visible) {
    pages_.ShowTab(tab, caption, visible);
}

void MainWindow::SelectTab(Tab tab) {
    pages_.Select(tab);
}

void MainWindow::AddPageRows(Tab tab, const std::vector<PageRow>& rows) {
    rows_.Add(tab, rows, dpi_);
}

void MainWindow::RemoveItems(const std::vector<size_t>& items) {
    rows_.Remove(items);
}

void MainWindow::ShowItem(size_t item, const ItemState& state) {
    rows_.Show(item, state);
}

void MainWindow::HideItem(size_t item) {
    rows_.Hide(item);
}

void MainWindow::ShowCommonInfoList() {
    ShowWindow(common_info_.Handle(), SW_SHOWNA);
}

void MainWindow::ShowCommonInfo(CommonInfoRow row, const std::string& value) {
    common_info_.SetText(static_cast<int>(row), 1, value);
}

void MainWindow::ShowLedSteps(const std::vector<LedStepRow>& rows) {
    led_->ShowSteps(rows);
}

void MainWindow::ShowLedStep(int step, const LedStepRow& row) {
    led_->ShowStep(step, row);
}

void MainWindow::ShowSolutions(const std::vector<std::string>& names, int selected) {
    tool_bar_->ShowSolutions(names, selected);
}

void MainWindow::SelectSolution(int index) {
    tool_bar_->SelectSolution(index);
}

void MainWindow::AppendLog(const std::vector<std::string>& lines) {
    log_.Append(lines);
}

void MainWindow::ShowStatus(const StatusText& status) {
    status_.Show(status);
}

void MainWindow::ShowSource(const std::string& source) {
    status_.ShowSource(source);
}

void MainWindow::ShowTitle(const std::string& title) {
    SetWindowTextW(window_, Wide(title).c_str());
}

// The inputs keep their own states underneath: the pages are disabled as a whole, which keeps
// their controls from the user without touching them. "Common Info" is only read.
void MainWindow::EnableCommands(bool enabled) {
    commands_enabled_ = enabled;
    tool_bar_->Enable(enabled);
    EnableMenuCommands(GetMenu(window_), enabled);
    DrawMenuBar(window_);
    for (int at = 0; at < kTabCount; ++at) {
        const auto tab = static_cast<Tab>(at);
        if (tab != Tab::kCommonInfo) {
            EnableWindow(pages_.Page(tab), enabled ? TRUE : FALSE);
        }
    }
    if (!enabled) {
        // Keys would still reach a control that has the focus.
        HWND focus = GetFocus();
        for (int at = 0; at < kTabCount && focus != nullptr; ++at) {
            if (IsChild(pages_.Page(static_cast<Tab>(at)), focus) != FALSE) {
                SetFocus(pages_.TabControl());
            }
        }
    }
}

void MainWindow::Answered(QuestionId id, const Answer& answer) {
    if (presenter_ != nullptr) {
        presenter_->Answer(id, answer);
    }
}

void MainWindow::ShowMessage(QuestionId id, const std::string& text, MessageIcon icon) {
    MessageBoxW(window_, Wide(text).c_str(), kMessageCaption, MB_OK | IconStyle(icon));
    Answered(id, Closed(true));
}

void MainWindow::AskYesNo(QuestionId id, const std::string& question) {
    const int chosen = MessageBoxW(window_, Wide(question).c_str(), kMessageCaption,
                                   MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    Answered(id, Closed(chosen == IDYES));
}

void MainWindow::AskFileName(QuestionId id, const FileQuestion& question) {
    const std::wstring filter = DialogFilter(question.filter);
    std::wstring file(kLongestPath, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrDefExt = L"ini";
    // The program's own folder stays its current folder.
    dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                   (question.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL chosen = question.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    Answer answer;
    answer.accepted = chosen != FALSE;
    if (answer.accepted) {
        file.resize(file.find(L'\0'));
        answer.text = Utf8(file);
    }
    Answered(id, answer);
}

void MainWindow::AskLedStep(QuestionId id, const LedStep& preset) {
    Answer answer;
    if (const auto step = led_dialog_.Ask(window_, preset)) {
        answer.accepted = true;
        answer.step = *step;
    }
    Answered(id, answer);
}

void MainWindow::AskNewSolution(QuestionId id) {
    Answered(id, new_solution_dialog_.Ask(window_));
}

void MainWindow::ShowAbout(QuestionId id, const AboutText& about) {
    AboutBox(about).Run(window_);
    Answered(id, Closed(true));
}

void MainWindow::TakeScreenshot(QuestionId id, const std::string& file) {
    Answered(id, Closed(SaveWindowPicture(window_, Wide(file))));
}

void MainWindow::Synchronise(uint64_t token) {
    if (presenter_ != nullptr) {
        presenter_->Synchronised(token);
    }
}

void MainWindow::BringToFront() {
    if (IsIconic(window_) != FALSE) {
        ShowWindow(window_, SW_RESTORE);
    }
    SetForegroundWindow(window_);
}

void MainWindow::CloseWindow() {
    if (IsWindow(window_) == FALSE) {
        return;
    }
    if (presenter_ != nullptr) {
        presenter_->SaveWindowState(State());
    }
    DestroyWindow(window_);
}

void MainWindow::ScriptFinished(int exit_status) {
    exit_status_ = exit_status;
    Close();
}

}  // namespace cardwright::win32
