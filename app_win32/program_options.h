#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cardwork/presenter/config_folder.h"

namespace cardwright::win32 {

// What cardwright.exe is told on its command line.
struct ProgramOptions {
    std::optional<std::string> config_dir;  // --config-dir DIR
    std::optional<std::string> script;      // --script FILE
    // Hidden: end once the start-up sequence is over, for scripted checks of an installed copy.
    bool quit_after_start = false;
    // --help, --version or a wrong argument: the text is printed and the program ends with this.
    std::optional<int> exit_status;
};

// The options of `arguments` (UTF-8, the program's name first); --help, --version and what is
// wrong go to `out` and `err`.
ProgramOptions ParseOptions(const std::vector<std::string>& arguments, std::ostream& out,
                            std::ostream& err);
// The program's arguments as Windows gives them, in UTF-8.
std::vector<std::string> ProgramArguments();

// The places the configuration folder may be, on Windows: the folder --config-dir names, the
// program's own folder, the examples shipped beside it in "examples", and %APPDATA%.
ConfigFolderPlaces WindowsConfigPlaces(const std::optional<std::string>& named);
// ChooseConfigFolder over those places, with the user's folder spelled as Windows programs spell
// theirs: %APPDATA%\Cardwright.
ConfigFolder ChooseWindowsConfigFolder(const std::optional<std::string>& named);

// The lines of a script file (UTF-8; CR LF or LF); nullopt when it cannot be read.
std::optional<std::vector<std::string>> ReadScript(const std::string& file);

}  // namespace cardwright::win32
