#include "app_win32/program_dialogs.h"

#include <commctrl.h>

#include "app_win32/dpi.h"
#include "app_win32/wide_text.h"
#include "cardwork/model/led_table.h"
#include "cardwork/presenter/view_rules.h"

namespace cardwright::win32 {

namespace {

constexpr int kColourBox = 1001;
constexpr int kTimeBox = 1002;
constexpr int kNameBox = 1003;
constexpr int kLedBox = 1004;
constexpr int kDialogDropHeight = 200;
constexpr int kIconSize = 48;

std::wstring TextOf(HWND control) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

LedSettingDialog::LedSettingDialog() : ModalDialog(L"LedSettingFrm", {250, 130}) {}

std::optional<LedStep> LedSettingDialog::Ask(HWND owner, const LedStep& preset) {
    colour_entry_ = preset.colour >= 1 && preset.colour <= 8 ? preset.colour - 1 : -1;
    time_text_ = std::to_wstring(preset.time);
    preset_time_ = preset.time;
    if (!Run(owner)) {
        return std::nullopt;
    }
    return chosen_;
}

void LedSettingDialog::Build() {
    AddControl(WC_STATICW, L"Color", SS_LEFT, {16, 18, 106, 38}, -1);
    HWND colour = AddControl(WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                             {110, 14, 230, 14 + kDialogDropHeight}, kColourBox);
    for (std::string_view entry : LedColorEntries()) {
        SendMessageW(colour, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entry).c_str()));
    }
    SendMessageW(colour, CB_SETCURSEL, static_cast<WPARAM>(colour_entry_), 0);
    AddControl(WC_STATICW, L"Time (100ms)", SS_LEFT, {16, 52, 106, 72}, -1);
    HWND time =
        AddControl(WC_COMBOBOXW, L"", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP,
                   {110, 48, 230, 48 + kDialogDropHeight}, kTimeBox);
    for (std::string_view suggestion : LedTimeSuggestions()) {
        SendMessageW(time, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(suggestion).c_str()));
    }
    SetWindowTextW(time, time_text_.c_str());
    AddControl(WC_BUTTONW, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, {40, 92, 115, 117}, IDOK);
    AddControl(WC_BUTTONW, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, {135, 92, 210, 117}, IDCANCEL);
    SetFocus(colour);
}

bool LedSettingDialog::Accept() {
    const auto time = LedTimeFromText(Utf8(TextOf(Item(kTimeBox))), preset_time_);
    if (!time) {
        MessageBoxW(Dialog(), Wide(kBadLedTimeMessage).c_str(), L"Cardwright",
                    MB_OK | MB_ICONWARNING);
        return false;
    }
    const auto entry = SendMessageW(Item(kColourBox), CB_GETCURSEL, 0, 0);
    chosen_ = {static_cast<uint8_t>(entry + 1), *time};
    return true;
}

void LedSettingDialog::Closing() {
    colour_entry_ = static_cast<int>(SendMessageW(Item(kColourBox), CB_GETCURSEL, 0, 0));
    time_text_ = TextOf(Item(kTimeBox));
}

NewSolutionDialog::NewSolutionDialog() : ModalDialog(L"NewSoluationFrm", {260, 120}) {}

Answer NewSolutionDialog::Ask(HWND owner) {
    Answer answer;
    answer.accepted = Run(owner);
    answer.text = Utf8(name_);
    answer.flag = led_;
    return answer;
}

void NewSolutionDialog::Build() {
    AddControl(WC_STATICW, L"\u65B9\u6848\u540D\u79F0\uFF1A", SS_LEFT, {12, 16, 90, 36}, -1);
    HWND name = AddControl(WC_EDITW, name_, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP,
                           {92, 12, 248, 36}, kNameBox);
    HWND led = AddControl(WC_BUTTONW, L"\u914D\u7F6ELED", BS_AUTOCHECKBOX | WS_TABSTOP,
                          {12, 46, 248, 66}, kLedBox);
    SendMessageW(led, BM_SETCHECK, led_ ? BST_CHECKED : BST_UNCHECKED, 0);
    AddControl(WC_BUTTONW, L"\u786E\u8BA4", BS_DEFPUSHBUTTON | WS_TABSTOP, {50, 82, 125, 107},
               IDOK);
    AddControl(WC_BUTTONW, L"\u53D6\u6D88", BS_PUSHBUTTON | WS_TABSTOP, {135, 82, 210, 107},
               IDCANCEL);
    SetFocus(name);
}

void NewSolutionDialog::Closing() {
    name_ = TextOf(Item(kNameBox));
    led_ = SendMessageW(Item(kLedBox), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

AboutBox::AboutBox(const AboutText& about) : ModalDialog(L"About", {298, 213}), about_(about) {}

void AboutBox::Build() {
    HWND icon = AddControl(WC_STATICW, L"", SS_ICON | SS_REALSIZECONTROL,
                           {24, 24, 24 + kIconSize, 24 + kIconSize}, -1);
    const int size = Scaled(kIconSize, Dpi());
    // The program's icon when it has one, else Windows' icon of an application.
    HANDLE picture = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size,
                                size, LR_DEFAULTCOLOR | LR_SHARED);
    if (picture == nullptr) {
        picture = LoadIconW(nullptr, IDI_APPLICATION);
    }
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(picture), 0);
    AddControl(WC_STATICW, Wide(about_.product), SS_LEFT | SS_NOPREFIX, {96, 32, 286, 52}, -1);
    AddControl(WC_STATICW, Wide(about_.version), SS_LEFT | SS_NOPREFIX, {96, 60, 286, 80}, -1);
    SetFocus(
        AddControl(WC_BUTTONW, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, {111, 168, 186, 193}, IDOK));
}

}  // namespace cardwright::win32
