#include "cardwork/batch/run_folder.h"

#include <cstdlib>
#include <optional>
#include <system_error>

#include "cardwork/batch/utc_text.h"
#include "cardwork/batch/work_refusal.h"
#include "carvex/platform/clock.h"

namespace cardwright {

namespace fs = std::filesystem;

fs::path StateFolder() {
    const auto absolute = [](const char* name) -> std::optional<fs::path> {
        const char* value = std::getenv(name);
        if (value == nullptr || !fs::path(value).is_absolute()) {
            return std::nullopt;
        }
        return fs::path(value);
    };
    if (const auto state = absolute("XDG_STATE_HOME")) {
        return *state / "carvex";
    }
    if (const auto home = absolute("HOME")) {
        return *home / ".local" / "state" / "carvex";
    }
    // Windows keeps a user's state under the local application data.
    if (const auto local = absolute("LOCALAPPDATA")) {
        return *local / "carvex";
    }
    std::error_code error;
    return fs::temp_directory_path(error) / "carvex";
}

fs::path ChosenFolder(const std::string& chosen, std::string_view below_state) {
    return chosen.empty() ? StateFolder() / below_state : fs::path(chosen);
}

RunFolder MakeRunFolder(const fs::path& parent) {
    std::error_code error;
    fs::create_directories(parent, error);
    if (error) {
        throw WorkRefusal("cannot make the folder " + parent.string() + ": " + error.message());
    }
    const std::string stem = UtcText(carvex::GetClock().WallNow(), true);
    fs::path folder = parent / stem;
    for (int again = 2; !fs::create_directory(folder, error); ++again) {
        if (error) {
            throw WorkRefusal("cannot make the folder " + folder.string() + ": " + error.message());
        }
        folder = parent / (stem + "-" + std::to_string(again));
    }
    std::optional<carvex::FolderLock> in_use;
    try {
        in_use = carvex::FolderLock::TryHold(folder);
    } catch (const std::system_error& e) {
        fs::remove_all(folder, error);
        throw WorkRefusal(std::string("cannot mark the folder in use: ") + e.what());
    }
    if (!in_use) {
        throw WorkRefusal("the new folder " + folder.string() + " is in use by another process");
    }
    return {folder, std::move(*in_use)};
}

void DiscardRunFolder(RunFolder folder) {
    // Windows removes no folder whose lock file is still open.
    { const carvex::FolderLock let_go = std::move(folder.in_use); }
    std::error_code ignored;
    fs::remove_all(folder.path, ignored);
}

}  // namespace cardwright
