#include "app_win32/dpi.h"

namespace cardwright::win32 {

namespace {

// The looked-up calls, by their signatures.
using SetContextFn = BOOL(WINAPI*)(HANDLE);
using SetAwarenessFn = HRESULT(WINAPI*)(int);
using DpiForWindowFn = UINT(WINAPI*)(HWND);
using ParametersForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 and PROCESS_PER_MONITOR_DPI_AWARE, which older
// headers do not know.
const auto kPerMonitorV2 = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4));
constexpr int kProcessPerMonitor = 2;

template <typename Function>
Function Lookup(const wchar_t* module, const char* name) {
    HMODULE loaded = GetModuleHandleW(module);
    if (loaded == nullptr) {
        loaded = LoadLibraryW(module);  // shcore.dll: kept for the process's life
    }
    if (loaded == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(loaded, name)));
}

}  // namespace

void BecomeDpiAware() {
    if (const auto set_context =
            Lookup<SetContextFn>(L"user32.dll", "SetProcessDpiAwarenessContext");
        set_context != nullptr && set_context(kPerMonitorV2)) {
        return;
    }
    if (const auto set_awareness = Lookup<SetAwarenessFn>(L"shcore.dll", "SetProcessDpiAwareness");
        set_awareness != nullptr && SUCCEEDED(set_awareness(kProcessPerMonitor))) {
        return;
    }
    SetProcessDPIAware();
}

UINT SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

UINT DpiOf(HWND window) {
    static const auto dpi_for_window = Lookup<DpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    if (dpi_for_window != nullptr && window != nullptr) {
        if (const UINT dpi = dpi_for_window(window); dpi != 0) {
            return dpi;
        }
    }
    return SystemDpi();
}

LOGFONTW MessageLogFont(UINT dpi) {
    static const auto for_dpi =
        Lookup<ParametersForDpiFn>(L"user32.dll", "SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (for_dpi != nullptr &&
        for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi) != FALSE) {
        return metrics.lfMessageFont;
    }
    metrics = NONCLIENTMETRICSW{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) == FALSE) {
        // Not even the system's metrics: the stock GUI font of the system, at its size.
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof metrics.lfMessageFont,
                   &metrics.lfMessageFont);
    }
    // The system's metrics are for the system's DPI.
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi),
                                            static_cast<int>(SystemDpi()));
    return metrics.lfMessageFont;
}

SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD ex_style, bool menu, UINT dpi) {
    static const auto adjust_for_dpi =
        Lookup<AdjustForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
    RECT rect{0, 0, client.cx, client.cy};
    if (adjust_for_dpi == nullptr ||
        adjust_for_dpi(&rect, style, menu ? TRUE : FALSE, ex_style, dpi) == FALSE) {
        AdjustWindowRectEx(&rect, style, menu ? TRUE : FALSE, ex_style);
    }
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void TakeSuggestedRect(HWND window, LPARAM suggested) {
    const auto* rect = reinterpret_cast<const RECT*>(suggested);
    SetWindowPos(window, nullptr, rect->left, rect->top, rect->right - rect->left,
                 rect->bottom - rect->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace cardwright::win32
