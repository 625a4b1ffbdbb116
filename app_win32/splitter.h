#pragma once

#include <windows.h>

#include <functional>

namespace cardwright::win32 {

// Splitter1: a thin bar of its own between the pages and the log. Dragging it tells its owner
// where the bar's top would now be, in the owner's client coordinates; the owner decides what
// that leaves for the log and lays the window out.
class Splitter {
  public:
    using Moved = std::function<void(int top)>;

    Splitter(HWND parent, int id, Moved moved);

    HWND Handle() const { return window_; }

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT Handle(UINT message, WPARAM w, LPARAM l);

    HWND window_ = nullptr;
    Moved moved_;
    int grab_offset_ = 0;  // where in the bar the mouse took it
    bool dragging_ = false;
};

}  // namespace cardwright::win32
