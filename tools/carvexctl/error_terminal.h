#pragma once

namespace carvexctl {

// Whether standard error is a terminal that takes the cursor movements a progress board redraws
// its lines with (on Windows, a console switched to them).
bool ErrorTerminalRedraws();

}  // namespace carvexctl
