#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace cardwright::win32 {

// The operation log (Memo1): a read-only multi-line edit control without the edit control's
// default limit of 30,000 characters. New lines go at the end; the view follows them unless the
// user has scrolled up to read, and keeps the user's selection.
class LogView {
  public:
    LogView(HWND parent, int id, HFONT font);

    HWND Handle() const { return edit_; }
    void Append(const std::vector<std::string>& lines);
    // The whole text, as UTF-8 with CR LF between lines.
    std::string Text() const;

  private:
    bool AtEnd() const;

    HWND edit_;
    bool empty_ = true;
};

}  // namespace cardwright::win32
