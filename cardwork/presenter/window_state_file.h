#pragma once

#include <filesystem>
#include <optional>

#include "cardwork/presenter/window_view.h"

namespace cardwright {

// The window's state between runs, kept in window-state.ini. nullopt when there is none to take
// up: the first run, or a file that holds no usable size.
std::optional<WindowState> ReadWindowState(const std::filesystem::path& file);
bool WriteWindowState(const std::filesystem::path& file, const WindowState& state);

}  // namespace cardwright
