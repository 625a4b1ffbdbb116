#include "app_win32/led_lists.h"

#include <commctrl.h>

#include "app_win32/control_ids.h"
#include "app_win32/dpi.h"
#include "app_win32/owned.h"
#include "app_win32/wide_text.h"
#include "cardwork/model/led_table.h"

namespace cardwright::win32 {

namespace {

// The page's items take the left part of the tab (their layout starts at x = 10); the two lists
// the rest, a margin away from the items and the tab's edges.
constexpr int kItemsWidth = 240;
constexpr int kMargin = 10;
constexpr int kStatusListWidth = 130;
constexpr int kStatusColumn = 105;
constexpr int kColourColumn = 100;
constexpr int kTimeColumn = 80;

}  // namespace

LedLists::LedLists(HWND page, HFONT font, UINT dpi)
    : page_(page),
      statuses_(page, kStatusList, {{"Status", kStatusColumn}}, LVS_SINGLESEL, dpi),
      steps_(page, kStepList, {{"\u989C\u8272", kColourColumn}, {"\u65F6\u95F4", kTimeColumn}}, 0,
             dpi) {
    for (HWND list : {statuses_.Handle(), steps_.Handle()}) {
        SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    std::vector<std::vector<std::string>> captions;
    for (std::string_view caption : LedStatusCaptions()) {
        captions.push_back({std::string(caption)});
    }
    statuses_.SetRows(captions);
    Layout(dpi);
}

void LedLists::Layout(UINT dpi) {
    RECT page{};
    GetClientRect(page_, &page);
    const int left = Scaled(kItemsWidth + kMargin, dpi);
    const int top = Scaled(kMargin, dpi);
    const int margin = Scaled(kMargin, dpi);
    const int height = std::max(0, static_cast<int>(page.bottom) - top - margin);
    const int status_width = Scaled(kStatusListWidth, dpi);
    MoveWindow(statuses_.Handle(), left, top, status_width, height, TRUE);
    const int steps_left = left + status_width + margin / 2;
    MoveWindow(steps_.Handle(), steps_left, top,
               std::max(0, static_cast<int>(page.right) - steps_left - margin), height, TRUE);
    statuses_.Rescale(dpi);
    steps_.Rescale(dpi);
}

void LedLists::ShowSteps(const std::vector<LedStepRow>& rows) {
    std::vector<std::vector<std::string>> texts;
    texts.reserve(rows.size());
    for (const LedStepRow& row : rows) {
        texts.push_back({row.colour, row.time});
    }
    steps_.SetRows(texts);
}

void LedLists::ShowStep(int step, const LedStepRow& row) {
    if (step >= 1 && step <= steps_.Rows()) {
        steps_.SetText(step - 1, 0, row.colour);
        steps_.SetText(step - 1, 1, row.time);
    }
}

int LedLists::SelectedStatus() const {
    return statuses_.FirstSelected() + 1;
}

int LedLists::FirstSelectedStep() const {
    return steps_.FirstSelected() + 1;
}

std::optional<LedLists::Request> LedLists::Notify(const NMHDR& header) {
    if (header.hwndFrom == statuses_.Handle() && header.code == LVN_ITEMCHANGED) {
        // Every change of selection comes here, the one that clears the old row too: only a
        // status that differs from the one told is news.
        const int status = SelectedStatus();
        if (status == status_) {
            return std::nullopt;
        }
        status_ = status;
        return Request{Request::Kind::kSelectStatus, status};
    }
    if (header.hwndFrom != steps_.Handle()) {
        return std::nullopt;
    }
    if (header.code == NM_DBLCLK) {
        return Request{Request::Kind::kModify, FirstSelectedStep()};
    }
    if (header.code == NM_RCLICK) {
        POINT at{};
        GetCursorPos(&at);
        const OwnedMenu menu(CreatePopupMenu());
        AppendMenuW(menu.Get(), MF_STRING, kLedDeleteCommand, L"Delete");
        AppendMenuW(menu.Get(), MF_STRING, kLedModifyCommand, L"Modify");
        AppendMenuW(menu.Get(), MF_STRING, kLedDeleteAllCommand, L"Delete all");
        const auto chosen = TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y,
                                           0, page_, nullptr);
        return Command(static_cast<int>(chosen));
    }
    return std::nullopt;
}

std::optional<LedLists::Request> LedLists::Command(int id) const {
    switch (id) {
        case kLedModifyCommand:
            return Request{Request::Kind::kModify, FirstSelectedStep()};
        case kLedDeleteCommand:
            return Request{Request::Kind::kDelete, FirstSelectedStep()};
        case kLedDeleteAllCommand:
            return Request{Request::Kind::kDeleteAll, 0};
        default:
            return std::nullopt;
    }
}

}  // namespace cardwright::win32
