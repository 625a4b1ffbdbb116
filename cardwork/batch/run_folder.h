#pragma once

#include <filesystem>

namespace cardwright {

// The folder the batch work keeps its snapshots and logs in: $XDG_STATE_HOME/carvex, or
// ~/.local/state/carvex (on Windows %LOCALAPPDATA%\carvex).
std::filesystem::path StateFolder();

// A new folder for one run's logs and summary under `parent` (made when missing), named by the
// UTC time on the library's clock. Throws WorkRefusal when it cannot be made.
std::filesystem::path MakeRunFolder(const std::filesystem::path& parent);

}  // namespace cardwright
