#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace carvexctl {

// What --description says in each command's help.
inline constexpr const char* kDescriptionHelp =
    "the configurator's description of pages and items (default: the configuration folder's "
    "Config_Info.ini, when it holds one)";

// The configurator's configuration folder, where it keeps its Config_Info.ini:
// $XDG_CONFIG_HOME/cardwright, ~/.config/cardwright (on Windows %APPDATA%\cardwright); empty
// when the environment names none of them.
std::filesystem::path ConfigurationFolder();

// The description a command works with: the one --description named, else the configuration
// folder's Config_Info.ini when the folder holds one (carvexctl never makes or fills the folder),
// which is named on `told`. Throws Refusal when there is neither.
std::filesystem::path ChosenDescription(const std::string& named, std::ostream& told);

}  // namespace carvexctl
