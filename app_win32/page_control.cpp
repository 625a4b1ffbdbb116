#include "app_win32/page_control.h"

#include <commctrl.h>

#include <algorithm>

#include "app_win32/wide_text.h"
#include "app_win32/window_class.h"

namespace cardwright::win32 {

namespace {

constexpr const wchar_t* kPageClass = L"CardwrightPage";

// A page hands its controls' notifications and colour questions to the main window, where the
// controls are handled.
LRESULT CALLBACK PageProcedure(HWND page, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CONTEXTMENU:
            return SendMessageW(GetParent(page), message, w, l);
        default:
            return DefWindowProcW(page, message, w, l);
    }
}

}  // namespace

PageControl::PageControl(HWND parent, int id, HFONT font)
    : parent_(parent),
      tabs_(CreateWindowExW(0, WC_TABCONTROLW, L"",
                            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP, 0, 0, 0, 0,
                            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr)) {
    static const ATOM registered = RegisterWindowClass(kPageClass, PageProcedure, COLOR_WINDOW);
    (void)registered;
    SendMessageW(tabs_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (HWND& page : pages_) {
        page = CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, L"",
                               WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 0, 0, parent,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        // Above the tab control, which must not paint over it.
        SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    captions_[Index(Tab::kCommonInfo)] = "Common Info";
    captions_[Index(Tab::kLed)] = "Led Setting";
    visible_[Index(Tab::kCommonInfo)] = true;
    visible_[Index(Tab::kLed)] = true;
    RebuildEntries(Tab::kCommonInfo);
}

void PageControl::ShowTab(Tab tab, const std::string& caption, bool visible) {
    if (captions_[Index(tab)] == caption && visible_[Index(tab)] == visible) {
        return;
    }
    captions_[Index(tab)] = caption;
    visible_[Index(tab)] = visible;
    RebuildEntries(Selected());
}

void PageControl::RebuildEntries(std::optional<Tab> keep) {
    SendMessageW(tabs_, TCM_DELETEALLITEMS, 0, 0);
    shown_.clear();
    for (int at = 0; at < kTabCount; ++at) {
        const auto tab = static_cast<Tab>(at);
        if (!visible_[Index(tab)]) {
            continue;
        }
        std::wstring caption = Wide(captions_[Index(tab)]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = caption.data();
        SendMessageW(tabs_, TCM_INSERTITEMW, shown_.size(), reinterpret_cast<LPARAM>(&item));
        shown_.push_back(tab);
    }
    // The tab in front stays in front while it is shown; else the first one comes.
    if (!keep || !visible_[Index(*keep)]) {
        keep = shown_.empty() ? std::nullopt : std::optional<Tab>(shown_.front());
    }
    if (keep) {
        const auto at = std::find(shown_.begin(), shown_.end(), *keep) - shown_.begin();
        SendMessageW(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(at), 0);
    }
    ShowPageOf(keep);
}

void PageControl::Select(Tab tab) {
    const auto found = std::find(shown_.begin(), shown_.end(), tab);
    if (found == shown_.end()) {
        return;
    }
    SendMessageW(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(found - shown_.begin()), 0);
    ShowPageOf(tab);
}

std::optional<Tab> PageControl::Selected() const {
    const auto at = SendMessageW(tabs_, TCM_GETCURSEL, 0, 0);
    if (at < 0 || static_cast<size_t>(at) >= shown_.size()) {
        return std::nullopt;
    }
    return shown_[static_cast<size_t>(at)];
}

std::optional<Tab> PageControl::FollowSelection() {
    const std::optional<Tab> tab = Selected();
    ShowPageOf(tab);
    return tab;
}

void PageControl::ShowPageOf(std::optional<Tab> tab) {
    for (int at = 0; at < kTabCount; ++at) {
        const bool front = tab && Index(*tab) == static_cast<size_t>(at);
        ShowWindow(pages_[static_cast<size_t>(at)], front ? SW_SHOWNA : SW_HIDE);
    }
}

void PageControl::Layout(const RECT& area) {
    MoveWindow(tabs_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
    RECT display = area;
    SendMessageW(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    for (HWND page : pages_) {
        MoveWindow(page, display.left, display.top, display.right - display.left,
                   display.bottom - display.top, TRUE);
    }
}

int PageControl::Height() const {
    RECT rect{};
    GetWindowRect(tabs_, &rect);
    return rect.bottom - rect.top;
}

void PageControl::Enable(bool enabled) {
    EnableWindow(tabs_, enabled ? TRUE : FALSE);
    for (HWND page : pages_) {
        EnableWindow(page, enabled ? TRUE : FALSE);
    }
}

}  // namespace cardwright::win32
