#include "app_win32/modal_dialog.h"

#include <vector>

#include "app_win32/dpi.h"

namespace cardwright::win32 {

namespace {

constexpr DWORD kDialogStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

// An empty dialog template: the controls are made when the dialog opens. The template's fields
// follow each other in WORDs, aligned as DLGTEMPLATE is.
std::vector<WORD> EmptyTemplate() {
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 3, 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
    header->style = kDialogStyle;
    header->cdit = 0;
    return words;  // no menu, the default class, no title
}

}  // namespace

bool ModalDialog::Run(HWND owner) {
    dpi_ = DpiOf(owner);
    const LOGFONTW message_font = MessageLogFont(dpi_);
    font_.Reset(CreateFontIndirectW(&message_font));
    std::vector<WORD> empty = EmptyTemplate();
    const INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(empty.data()), owner,
        &ModalDialog::Procedure, reinterpret_cast<LPARAM>(this));
    dialog_ = nullptr;
    return result == IDOK;
}

INT_PTR CALLBACK ModalDialog::Procedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, l);
        reinterpret_cast<ModalDialog*>(l)->dialog_ = dialog;
    }
    auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self == nullptr ? FALSE : self->Handle(message, w, l);
}

INT_PTR ModalDialog::Handle(UINT message, WPARAM w, LPARAM /*l*/) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowTextW(dialog_, caption_.c_str());
            SendMessageW(dialog_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
            Place(GetWindow(dialog_, GW_OWNER));
            Build();
            return FALSE;  // Build put the focus where it belongs
        case WM_COMMAND:
            if (LOWORD(w) == IDOK && Accept()) {
                Closing();
                EndDialog(dialog_, IDOK);
            } else if (LOWORD(w) == IDCANCEL) {
                Closing();
                EndDialog(dialog_, IDCANCEL);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

// The client area of the dialog's size, centred over the owner (or the screen).
void ModalDialog::Place(HWND owner) {
    const SIZE client{Scaled(client_.cx, dpi_), Scaled(client_.cy, dpi_)};
    const SIZE outer = WindowSizeForClient(client, kDialogStyle,
                                           GetWindowLongW(dialog_, GWL_EXSTYLE), false, dpi_);
    RECT around{};
    if (owner == nullptr || IsIconic(owner) || GetWindowRect(owner, &around) == FALSE) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
    }
    const int left = around.left + (around.right - around.left - outer.cx) / 2;
    const int top = around.top + (around.bottom - around.top - outer.cy) / 2;
    SetWindowPos(dialog_, nullptr, left, top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND ModalDialog::AddControl(const wchar_t* window_class, const std::wstring& text, DWORD style,
                             RECT logical, int id) {
    HWND control = CreateWindowExW(
        0, window_class, text.c_str(), WS_CHILD | WS_VISIBLE | style, Scaled(logical.left, dpi_),
        Scaled(logical.top, dpi_), Scaled(logical.right - logical.left, dpi_),
        Scaled(logical.bottom - logical.top, dpi_), dialog_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    return control;
}

}  // namespace cardwright::win32
