#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "carvex/platform/code_page.h"

namespace cardwright {

// The configurator's own settings, kept beside Config_Info.ini in its configuration folder.
inline constexpr std::string_view kProgramSettingsFile = "cardwright.conf";

struct ProgramSettings {
    // legacy_codepage: what files that are not UTF-8 are read in (not used on Windows, where
    // that is the system's ANSI code page).
    carvex::CodePage legacy_code_page;
    // Lines that were not taken, each with the file's name and the line's number, for the user.
    std::vector<std::string> problems;
};

// Reads the settings file: "key = value" lines, "#" starts a comment. A missing file leaves every
// setting at its default; a line that cannot be taken (an unknown key, a code page that iconv does
// not know or that does not keep ASCII as ASCII) is reported and leaves its setting as it was.
ProgramSettings ReadProgramSettings(const std::filesystem::path& file);

}  // namespace cardwright
