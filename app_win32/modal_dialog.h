#pragma once

#include <windows.h>

#include <string>

#include "app_win32/owned.h"

namespace cardwright::win32 {

// A modal dialog of the program's own, laid out in pixels at 96 DPI and scaled to the DPI of
// the window it opens over, in the font of the system's message boxes. Windows' own dialog loop
// runs it (Tab, Enter and Escape as in every dialog).
class ModalDialog {
  public:
    virtual ~ModalDialog() = default;

    // True when it closed with OK (the button with IDOK, or Enter).
    bool Run(HWND owner);

  protected:
    ModalDialog(std::wstring caption, SIZE client)
        : caption_(std::move(caption)), client_(client) {}

    // Makes the controls (with AddControl) and fills them.
    virtual void Build() = 0;
    // OK was pressed: true closes the dialog with OK; false keeps it open.
    virtual bool Accept() { return true; }
    // The dialog closes, either way: the place to keep what the boxes hold.
    virtual void Closing() {}

    HWND AddControl(const wchar_t* window_class, const std::wstring& text, DWORD style,
                    RECT logical, int id);
    HWND Dialog() const { return dialog_; }
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }
    UINT Dpi() const { return dpi_; }

  private:
    static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM w, LPARAM l);
    INT_PTR Handle(UINT message, WPARAM w, LPARAM l);
    void Place(HWND owner);

    std::wstring caption_;
    SIZE client_;
    HWND dialog_ = nullptr;
    UINT dpi_ = 96;
    OwnedFont font_;
};

}  // namespace cardwright::win32
