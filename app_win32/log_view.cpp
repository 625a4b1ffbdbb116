#include "app_win32/log_view.h"

#include "app_win32/wide_text.h"

namespace cardwright::win32 {

LogView::LogView(HWND parent, int id, HFONT font)
    : edit_(CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP |
                                ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                                ES_NOHIDESEL,
                            0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            GetModuleHandleW(nullptr), nullptr)) {
    SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // 0 lifts the limit as far as the control goes (about 2^31 characters).
    SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);
}

bool LogView::AtEnd() const {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    if (GetScrollInfo(edit_, SB_VERT, &info) == FALSE || info.nMax <= 0) {
        return true;
    }
    return info.nPos + static_cast<int>(info.nPage) > info.nMax;
}

void LogView::Append(const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return;
    }
    std::wstring text;
    for (const std::string& line : lines) {
        if (!empty_ || !text.empty()) {
            text += L"\r\n";
        }
        text += Wide(line);
    }
    const bool follow = AtEnd();
    DWORD selection_start = 0;
    DWORD selection_end = 0;
    SendMessageW(edit_, EM_GETSEL, reinterpret_cast<WPARAM>(&selection_start),
                 reinterpret_cast<LPARAM>(&selection_end));
    const auto first_visible = SendMessageW(edit_, EM_GETFIRSTVISIBLELINE, 0, 0);
    const auto end = static_cast<WPARAM>(GetWindowTextLengthW(edit_));

    SendMessageW(edit_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(edit_, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    empty_ = false;
    // What the user had selected stays selected.
    SendMessageW(edit_, EM_SETSEL, selection_start, static_cast<LPARAM>(selection_end));
    if (follow) {
        SendMessageW(edit_, WM_VSCROLL, SB_BOTTOM, 0);
        SendMessageW(edit_, WM_HSCROLL, SB_LEFT, 0);
    } else {
        // Back to where the user was reading.
        const auto now_first = SendMessageW(edit_, EM_GETFIRSTVISIBLELINE, 0, 0);
        SendMessageW(edit_, EM_LINESCROLL, 0, first_visible - now_first);
    }
    SendMessageW(edit_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(edit_, nullptr, TRUE);
}

std::string LogView::Text() const {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit_)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(edit_, text.data(), static_cast<int>(text.size()))));
    return Utf8(text);
}

}  // namespace cardwright::win32
