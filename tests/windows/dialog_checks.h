#pragma once

#include <string>

#include "app_win32/main_window.h"
#include "tests/windows/window_check_support.h"

namespace cardwright::win32::checks {

// The window's questions worked as a user would; `folder` is a folder the file dialog may name.
void DialogChecks(MainWindow& window, RecordingActions& actions, const std::string& folder);

}  // namespace cardwright::win32::checks
