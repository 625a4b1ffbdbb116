#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cardwright {

// What the configuration folder holds.
inline constexpr const char* kDescriptionFile = "Config_Info.ini";
inline constexpr const char* kValuesFile = "config_value.ini";
inline constexpr const char* kLogFile = "ConfigLog.txt";
// The window's size and place, kept between runs.
inline constexpr const char* kWindowStateFile = "window-state.ini";

// The seam to the platform: the places it offers for the configuration folder. Linux: the
// folder --config-dir names, the executable's folder, the installed examples relative to it,
// and $XDG_CONFIG_HOME (XdgConfigHome); Windows: the same with %APPDATA% as the user's folder.
struct ConfigFolderPlaces {
    std::optional<std::filesystem::path> named;  // --config-dir
    std::filesystem::path program_dir;           // the executable's folder
    std::filesystem::path examples_dir;          // the installed example description files
    std::filesystem::path user_config_dir;       // the platform's folder of the user's settings
};

// Whether a regular file is at `path`; a path that cannot be looked at holds none.
bool IsRegularFile(const std::filesystem::path& path);

// Linux's folder of the user's settings: $XDG_CONFIG_HOME when it is set to an absolute path
// (a relative one counts as unset), else ~/.config.
std::filesystem::path XdgConfigHome(const std::string& xdg_config_home,
                                    const std::filesystem::path& home);

struct ConfigFolder {
    std::filesystem::path path;
    std::vector<std::string> seeded;    // the INI files copied from the examples into it
    std::vector<std::string> problems;  // what could not be created or copied
    bool complete = false;              // both INI files are there

    std::filesystem::path File(const char* name) const { return path / name; }
};

// The folder `named`; else the program's own folder when both INI files are there (a portable
// copy); else "cardwright" in the user's folder. Except for the program's folder, the chosen
// folder is created and each missing INI file is copied into it from the examples; a file that
// is there is never overwritten, and a copy is the user's to change.
ConfigFolder ChooseConfigFolder(const ConfigFolderPlaces& places);

}  // namespace cardwright
