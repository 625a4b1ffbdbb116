#pragma once

#include <windows.h>

#include <string>

#include "cardwork/presenter/window_view.h"

namespace cardwright::win32 {

// StatusBar1: the step a command is at or what the last one came to, shortened in the middle of
// its path when the whole text does not fit (the whole text is the part's tool tip); where the
// values shown come from; and the two panels of 50 pixels, the last with the size grip.
class StatusBar {
  public:
    StatusBar(HWND parent, int id);
    StatusBar(const StatusBar&) = delete;
    StatusBar& operator=(const StatusBar&) = delete;

    HWND Handle() const { return bar_; }
    void Show(const StatusText& status);
    void ShowSource(const std::string& source);
    // After the window's size or DPI changed: the parts, and the status fitted again.
    void Layout(UINT dpi);
    int Height() const;

    // What the parts show now.
    std::string StatusShown() const;
    std::string SourceShown() const;

  private:
    void Refit();
    int TextWidth(const std::wstring& text) const;

    HWND bar_;
    HWND tip_;
    StatusText status_;
    std::wstring source_;
    UINT dpi_ = 96;
};

}  // namespace cardwright::win32
