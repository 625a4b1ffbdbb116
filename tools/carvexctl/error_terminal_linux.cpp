#include <sys/ioctl.h>
#include <unistd.h>

#include "tools/carvexctl/error_terminal.h"

namespace carvexctl {

bool ErrorTerminalRedraws() {
    return ::isatty(STDERR_FILENO) == 1;
}

size_t ErrorTerminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return kDefaultTerminalColumns;
}

}  // namespace carvexctl
