#include <windows.h>

#include "tools/carvexctl/error_terminal.h"

namespace carvexctl {

// A console takes the cursor movements once they are switched on (Windows 10 and later); a
// file, a pipe or an older console gets plain lines.
bool ErrorTerminalRedraws() {
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error == INVALID_HANDLE_VALUE || error == nullptr || ::GetConsoleMode(error, &mode) == 0) {
        return false;
    }
    return ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

size_t ErrorTerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info) == 0 ||
        info.srWindow.Right < info.srWindow.Left) {
        return kDefaultTerminalColumns;
    }
    return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left) + 1;
}

}  // namespace carvexctl
