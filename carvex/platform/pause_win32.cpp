#include <windows.h>

#include "carvex/platform/pause.h"
#include "carvex/platform/win32_handle.h"

namespace carvex {

// A waitable timer keeps the pause to its 100 ns units instead of Sleep's whole milliseconds.
void PauseFor(std::chrono::nanoseconds duration) {
    if (duration <= duration.zero()) {
        return;
    }
    const Win32Handle timer(::CreateWaitableTimerW(nullptr, TRUE, nullptr));
    LARGE_INTEGER due{};
    due.QuadPart =
        -std::chrono::ceil<std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>>(duration)
             .count();  // negative: relative to now
    if (!timer || !::SetWaitableTimer(timer.Get(), &due, 0, nullptr, nullptr, FALSE)) {
        ::Sleep(static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(duration).count()));
        return;
    }
    ::WaitForSingleObject(timer.Get(), INFINITE);
}

}  // namespace carvex
