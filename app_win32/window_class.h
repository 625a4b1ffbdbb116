#pragma once

#include <windows.h>

namespace cardwright::win32 {

// Registers a window class of this program: its procedure, the system colour its background is
// painted in, its cursor and icon. Called once per class, before its first window.
inline ATOM RegisterWindowClass(const wchar_t* name, WNDPROC procedure, int background,
                                const wchar_t* cursor = IDC_ARROW, HICON icon = nullptr) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, cursor);
    window_class.hbrBackground = GetSysColorBrush(background);
    window_class.lpszClassName = name;
    window_class.hIcon = icon;
    return RegisterClassExW(&window_class);
}

}  // namespace cardwright::win32
