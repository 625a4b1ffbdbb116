#include "app_win32/splitter.h"

#include <windowsx.h>

#include "app_win32/window_class.h"

namespace cardwright::win32 {

namespace {

constexpr const wchar_t* kClassName = L"CardwrightSplitter";

}  // namespace

Splitter::Splitter(HWND parent, int id, Moved moved) : moved_(std::move(moved)) {
    static const ATOM registered =
        RegisterWindowClass(kClassName, &Splitter::Procedure, COLOR_BTNFACE, IDC_SIZENS);
    (void)registered;
    window_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              GetModuleHandleW(nullptr), this);
}

LRESULT CALLBACK Splitter::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Splitter*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->window_ != window) {
        return DefWindowProcW(window, message, w, l);
    }
    return self->Handle(message, w, l);
}

LRESULT Splitter::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_LBUTTONDOWN:
            grab_offset_ = GET_Y_LPARAM(l);
            dragging_ = true;
            SetCapture(window_);
            return 0;
        case WM_MOUSEMOVE:
            if (dragging_ && (w & MK_LBUTTON) != 0) {
                POINT at{0, GET_Y_LPARAM(l)};
                MapWindowPoints(window_, GetParent(window_), &at, 1);
                moved_(at.y - grab_offset_);
            }
            return 0;
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            if (dragging_) {
                dragging_ = false;
                if (GetCapture() == window_) {
                    ReleaseCapture();
                }
            }
            return 0;
        default:
            return DefWindowProcW(window_, message, w, l);
    }
}

}  // namespace cardwright::win32
