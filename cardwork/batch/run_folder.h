#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "carvex/platform/folder_lock.h"

namespace cardwright {

// The folder the batch work keeps its snapshots and logs in: $XDG_STATE_HOME/carvex, or
// ~/.local/state/carvex (on Windows %LOCALAPPDATA%\carvex).
std::filesystem::path StateFolder();

// The folder an option names; when it names none, `below_state` in the state folder.
std::filesystem::path ChosenFolder(const std::string& chosen, std::string_view below_state);

// A run's folder, marked in use while the object lives: its card logs and the copies of the files
// it writes are open or still to come, and a prune leaves it alone.
struct RunFolder {
    std::filesystem::path path;
    carvex::FolderLock in_use;
};

// A new folder for one run's logs and summary under `parent` (made when missing), named by the
// UTC time on the library's clock. Throws WorkRefusal when it cannot be made or marked in use.
RunFolder MakeRunFolder(const std::filesystem::path& parent);

// Lets go of a run folder no run began in, and removes it with what it holds.
void DiscardRunFolder(RunFolder folder);

}  // namespace cardwright
