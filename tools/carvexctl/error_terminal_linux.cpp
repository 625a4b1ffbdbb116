#include <unistd.h>

#include "tools/carvexctl/error_terminal.h"

namespace carvexctl {

bool ErrorTerminalRedraws() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace carvexctl
