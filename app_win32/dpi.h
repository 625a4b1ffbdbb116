#pragma once

#include <windows.h>

namespace cardwright::win32 {

// Sizes are given for 96 dots per inch, the DPI at which Windows draws at 100 %.
inline constexpr UINT kBaseDpi = 96;

// Per-monitor DPI awareness where Windows offers it (10 1703 and later: per monitor, version 2;
// 8.1: per monitor), else awareness of the system's DPI. The newer calls are looked up at run
// time, so that the program starts on Windows 7 SP1. Before any window is made.
void BecomeDpiAware();

// The DPI a window is drawn at: its monitor's where Windows tells (10 1607 and later), else the
// system's.
UINT DpiOf(HWND window);
UINT SystemDpi();

inline int Scaled(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), static_cast<int>(kBaseDpi));
}

// The font Windows uses for message boxes, from the system's metrics, at `dpi`.
LOGFONTW MessageLogFont(UINT dpi);

// The window rectangle a client area of that size needs at `dpi`.
SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD ex_style, bool menu, UINT dpi);

// Sends WM_DPICHANGED's suggested rectangle on: the window takes it.
void TakeSuggestedRect(HWND window, LPARAM suggested);

}  // namespace cardwright::win32
