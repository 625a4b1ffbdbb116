#include "app_win32/status_bar.h"

#include <commctrl.h>

#include <algorithm>

#include "app_win32/dpi.h"
#include "app_win32/owned.h"
#include "app_win32/wide_text.h"
#include "cardwork/presenter/view_rules.h"

namespace cardwright::win32 {

namespace {

constexpr int kStatusPart = 0;
constexpr int kSourcePart = 1;
constexpr int kPanelWidth = 50;
constexpr int kParts = 4;
// A part's borders and the gap the control leaves around its text.
constexpr int kTextMargin = 8;
// The source takes at most this share of the bar.
constexpr int kSourceShare = 2;

std::wstring PartText(HWND bar, int part) {
    const auto length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, part, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return text;
}

}  // namespace

StatusBar::StatusBar(HWND parent, int id)
    : bar_(CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0,
                           0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr)),
      tip_(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent,
                           nullptr, GetModuleHandleW(nullptr), nullptr)) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = bar_;
    tool.uId = kStatusPart;
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

int StatusBar::Height() const {
    RECT rect{};
    GetWindowRect(bar_, &rect);
    return rect.bottom - rect.top;
}

int StatusBar::TextWidth(const std::wstring& text) const {
    const WindowDc dc(bar_);
    const Selected font(dc.Get(), reinterpret_cast<HFONT>(SendMessageW(bar_, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void StatusBar::Layout(UINT dpi) {
    dpi_ = dpi;
    SendMessageW(bar_, WM_SIZE, 0, 0);
    RECT client{};
    GetClientRect(bar_, &client);
    const int panel = Scaled(kPanelWidth, dpi);
    const int margin = Scaled(kTextMargin, dpi);
    const int room = std::max(0, static_cast<int>(client.right) - 2 * panel);
    const int source =
        source_.empty() ? 0 : std::min(TextWidth(source_) + 2 * margin, room / kSourceShare);
    const std::array<int, kParts> ends{room - source, room, room + panel, -1};
    SendMessageW(bar_, SB_SETPARTS, kParts, reinterpret_cast<LPARAM>(ends.data()));
    RECT part{};
    SendMessageW(bar_, SB_GETRECT, kStatusPart, reinterpret_cast<LPARAM>(&part));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = bar_;
    tool.uId = kStatusPart;
    tool.rect = part;
    SendMessageW(tip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    Refit();
}

void StatusBar::Show(const StatusText& status) {
    status_ = status;
    Refit();
    const std::wstring whole = Wide(status_.text);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = bar_;
    tool.uId = kStatusPart;
    tool.lpszText = const_cast<wchar_t*>(whole.c_str());
    SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void StatusBar::ShowSource(const std::string& source) {
    source_ = Wide(source);
    SendMessageW(bar_, SB_SETTEXTW, kSourcePart, reinterpret_cast<LPARAM>(source_.c_str()));
    Layout(dpi_);
}

void StatusBar::Refit() {
    RECT part{};
    SendMessageW(bar_, SB_GETRECT, kStatusPart, reinterpret_cast<LPARAM>(&part));
    const int room = part.right - part.left - Scaled(kTextMargin, dpi_);
    const std::string fitted = FitStatusText(
        status_, [&](std::string_view text) { return TextWidth(Wide(text)) <= room; });
    const std::wstring shown = Wide(fitted);
    SendMessageW(bar_, SB_SETTEXTW, kStatusPart, reinterpret_cast<LPARAM>(shown.c_str()));
}

std::string StatusBar::StatusShown() const {
    return Utf8(PartText(bar_, kStatusPart));
}

std::string StatusBar::SourceShown() const {
    return Utf8(PartText(bar_, kSourcePart));
}

}  // namespace cardwright::win32
