#pragma once

#include <cstddef>

namespace carvexctl {

// Whether standard error is a terminal that takes the cursor movements a progress board redraws
// its lines with (on Windows, a console switched to them).
bool ErrorTerminalRedraws();

// How many columns the terminal (or console window) of standard error has, where the platform
// can tell; otherwise kDefaultTerminalColumns.
size_t ErrorTerminalColumns();
inline constexpr size_t kDefaultTerminalColumns = 80;

}  // namespace carvexctl
