#include "app_win32/item_rows.h"

#include <commctrl.h>

#include <algorithm>

#include "app_win32/dpi.h"
#include "app_win32/wide_text.h"

namespace cardwright::win32 {

namespace {

// The check box at the layout's point, the value box 120 pixels right of it and a little higher,
// so that the box's text and the caption share a base line. The check box ends where the value
// box begins (the caption has that room only): the two never overlap, so the Tab key goes from
// an item's check box to its value box.
constexpr int kValueBoxOffset = 120;
constexpr int kLabelWidth = kValueBoxOffset;
constexpr int kValueBoxRaise = 5;
constexpr int kRowHeight = 20;
constexpr int kDropHeight = 200;
// The check mark and the gap after it, and the gap left before the value box.
constexpr int kCheckMark = 13;
constexpr int kCheckGap = 4;
constexpr int kGapBeforeValueBox = 2;
// The smallest caption font, as a share of the usual one.
constexpr int kSmallestPercent = 80;

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring Painted(std::wstring caption) {
    while (!caption.empty() && caption.back() == L' ') {
        caption.pop_back();
    }
    return caption;
}

int TextWidth(HDC dc, HFONT font, const std::wstring& text) {
    const Selected selected(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

}  // namespace

ItemRows::ItemRows(PageControl& pages, HWND owner)
    : pages_(pages),
      owner_(owner),
      tips_(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                            nullptr, GetModuleHandleW(nullptr), nullptr)) {}

HFONT ItemRows::FontOfHeight(int height) {
    auto found = fonts_.find(height);
    if (found == fonts_.end()) {
        LOGFONTW font = MessageLogFont(dpi_);
        font.lfHeight = height;
        found = fonts_.emplace(height, OwnedFont(CreateFontIndirectW(&font))).first;
    }
    return found->second.Get();
}

void ItemRows::Add(Tab tab, const std::vector<PageRow>& rows, UINT dpi) {
    if (dpi != dpi_) {
        Rescale(dpi);
    }
    auto& layout = layouts_[static_cast<size_t>(tab)];
    if (!layout) {
        // In pixels at 96 DPI, as the layout's rules are.
        layout.emplace(MulDiv(pages_.Height(), static_cast<int>(kBaseDpi), static_cast<int>(dpi_)));
    }
    HWND page = pages_.Page(tab);
    const HFONT font = FontOfHeight(MessageLogFont(dpi_).lfHeight);
    const auto instance = GetModuleHandleW(nullptr);
    for (const PageRow& source : rows) {
        Remove({source.item});  // an item is on one page only
        Row row;
        row.tab = tab;
        row.caption = Wide(source.caption);
        row.at = layout->Current();
        row.width = source.width;
        row.editable = source.editable;
        row.visible = source.visible;
        const DWORD shown = source.visible ? WS_VISIBLE : 0;
        row.check =
            CreateWindowExW(0, WC_BUTTONW, row.caption.c_str(),
                            WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS | BS_AUTOCHECKBOX | shown, 0, 0,
                            0, 0, page, nullptr, instance, nullptr);
        row.value = CreateWindowExW(
            0, WC_COMBOBOXW, L"",
            WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_CLIPSIBLINGS | WS_DISABLED | shown |
                (source.editable ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST),
            0, 0, 0, 0, page, nullptr, instance, nullptr);
        SendMessageW(row.check, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SendMessageW(row.value, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        for (const std::string& choice : source.choices) {
            const std::wstring wide = Wide(choice);
            SendMessageW(row.value, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
        }
        Place(row);
        FitCaption(row);
        item_of_[row.check] = source.item;
        item_of_[row.value] = source.item;
        rows_.emplace(source.item, std::move(row));
        ++counts_[static_cast<size_t>(tab)];
        layout->Advance(source.visible);
    }
}

void ItemRows::Place(const Row& row) const {
    MoveWindow(row.check, Scaled(row.at.x, dpi_), Scaled(row.at.y, dpi_), Scaled(kLabelWidth, dpi_),
               Scaled(kRowHeight, dpi_), FALSE);
    MoveWindow(row.value, Scaled(row.at.x + kValueBoxOffset, dpi_),
               Scaled(row.at.y - kValueBoxRaise, dpi_), Scaled(row.width, dpi_),
               Scaled(kDropHeight, dpi_), FALSE);
}

// The largest font down to kSmallestPercent that fits the caption in front of the value box;
// else the usual font and the caption cut.
void ItemRows::FitCaption(const Row& row) {
    const std::wstring painted = Painted(row.caption);
    const int room = Scaled(kValueBoxOffset - kCheckMark - kCheckGap - kGapBeforeValueBox, dpi_);
    const int usual = MessageLogFont(dpi_).lfHeight;  // negative: the character height
    const int smallest = usual * kSmallestPercent / 100;
    HDC dc = GetDC(row.check);
    HFONT chosen = nullptr;
    for (int height = usual; height <= smallest && chosen == nullptr; ++height) {
        if (TextWidth(dc, FontOfHeight(height), painted) <= room) {
            chosen = FontOfHeight(height);
        }
    }
    std::wstring shown = row.caption;
    if (chosen == nullptr) {
        chosen = FontOfHeight(usual);
        const std::wstring ellipsis = L"\u2026";
        while (!shown.empty() && TextWidth(dc, chosen, Painted(shown) + ellipsis) > room) {
            shown.pop_back();
        }
        shown = Painted(shown) + ellipsis;
    }
    ReleaseDC(row.check, dc);
    SendMessageW(row.check, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), FALSE);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = owner_;
    tool.uId = reinterpret_cast<UINT_PTR>(row.check);
    if (shown != row.caption) {
        SetWindowTextW(row.check, shown.c_str());
        tool.lpszText = const_cast<wchar_t*>(row.caption.c_str());
        SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    } else {
        SendMessageW(tips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void ItemRows::Remove(const std::vector<size_t>& items) {
    for (size_t item : items) {
        const auto found = rows_.find(item);
        if (found == rows_.end()) {
            continue;
        }
        Row& row = found->second;
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = owner_;
        tool.uId = reinterpret_cast<UINT_PTR>(row.check);
        SendMessageW(tips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        item_of_.erase(row.check);
        item_of_.erase(row.value);
        DestroyWindow(row.check);
        DestroyWindow(row.value);
        // A page whose rows are all gone starts its layout anew with its next row.
        const auto tab = static_cast<size_t>(row.tab);
        if (--counts_[tab] == 0) {
            layouts_[tab].reset();
        }
        rows_.erase(found);
    }
}

void ItemRows::Show(size_t item, const ItemState& state) {
    const auto found = rows_.find(item);
    if (found == rows_.end()) {
        return;
    }
    const Row& row = found->second;
    updating_ = true;
    if (row.editable) {
        SetWindowTextW(row.value, Wide(state.text).c_str());
    } else {
        SendMessageW(row.value, CB_SETCURSEL, static_cast<WPARAM>(state.entry), 0);
    }
    SendMessageW(row.check, BM_SETCHECK, state.ticked ? BST_CHECKED : BST_UNCHECKED, 0);
    EnableWindow(row.value, state.ticked ? TRUE : FALSE);
    updating_ = false;
}

void ItemRows::Hide(size_t item) {
    const auto found = rows_.find(item);
    if (found != rows_.end()) {
        ShowWindow(found->second.check, SW_HIDE);
        ShowWindow(found->second.value, SW_HIDE);
    }
}

ItemState ItemRows::Read(const Row& row) const {
    ItemState state;
    state.entry = static_cast<int>(SendMessageW(row.value, CB_GETCURSEL, 0, 0));
    state.text = Utf8(WindowText(row.value));
    state.ticked = SendMessageW(row.check, BM_GETCHECK, 0, 0) == BST_CHECKED;
    return state;
}

std::optional<ItemRows::Edit> ItemRows::Command(HWND control, int code) {
    const auto found = item_of_.find(control);
    if (updating_ || found == item_of_.end()) {
        return std::nullopt;
    }
    const Row& row = rows_.at(found->second);
    Edit edit{found->second, Read(row)};
    if (control == row.check) {
        if (code != BN_CLICKED) {
            return std::nullopt;
        }
        // The check box ticked enables the value box.
        EnableWindow(row.value, edit.state.ticked ? TRUE : FALSE);
        return edit;
    }
    if (code == CBN_SELCHANGE) {
        // The edit part still shows the entry before: the entry chosen is the text.
        const auto entry = SendMessageW(row.value, CB_GETCURSEL, 0, 0);
        if (entry >= 0) {
            std::wstring text(
                static_cast<size_t>(SendMessageW(row.value, CB_GETLBTEXTLEN, entry, 0)) + 1, L'\0');
            text.resize(static_cast<size_t>(SendMessageW(row.value, CB_GETLBTEXT, entry,
                                                         reinterpret_cast<LPARAM>(text.data()))));
            edit.state.text = Utf8(text);
        }
        return edit;
    }
    if (code == CBN_EDITCHANGE) {
        return edit;
    }
    return std::nullopt;
}

std::optional<ItemState> ItemRows::StateOf(size_t item) const {
    const auto found = rows_.find(item);
    if (found == rows_.end()) {
        return std::nullopt;
    }
    return Read(found->second);
}

std::optional<std::wstring> ItemRows::CaptionShown(size_t item) const {
    const auto found = rows_.find(item);
    if (found == rows_.end()) {
        return std::nullopt;
    }
    return WindowText(found->second.check);
}

HWND ItemRows::CheckBox(size_t item) const {
    const auto found = rows_.find(item);
    return found == rows_.end() ? nullptr : found->second.check;
}

HWND ItemRows::ValueBox(size_t item) const {
    const auto found = rows_.find(item);
    return found == rows_.end() ? nullptr : found->second.value;
}

void ItemRows::Rescale(UINT dpi) {
    dpi_ = dpi;
    // The old fonts go once no box uses them any more.
    const std::map<int, OwnedFont> old_fonts = std::move(fonts_);
    fonts_.clear();
    const HFONT font = FontOfHeight(MessageLogFont(dpi_).lfHeight);
    for (auto& [item, row] : rows_) {
        SendMessageW(row.value, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SetWindowTextW(row.check, row.caption.c_str());
        Place(row);
        FitCaption(row);
    }
}

}  // namespace cardwright::win32
