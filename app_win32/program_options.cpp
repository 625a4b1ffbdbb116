#include "app_win32/program_options.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <fstream>

#include "app_win32/wide_text.h"
#include "project_version.h"

namespace cardwright::win32 {

namespace fs = std::filesystem;

namespace {

constexpr const char* kHelp =
    "Usage: cardwright [options]\n"
    "Reads and changes the configuration of a 3G USB data card.\n"
    "\n"
    "Options:\n"
    "  -h, --help         Displays help on commandline options.\n"
    "  -v, --version      Displays version information.\n"
    "  --config-dir <dir> Keep Config_Info.ini, config_value.ini and ConfigLog.txt in <dir>.\n"
    "  --script <file>    Carry out the commands of <file> (select, read, write, import,\n"
    "                     export, solution, led, answer, expect-log, wait-for-card, tab,\n"
    "                     screenshot, quit) without asking anything, then end. From cmd,\n"
    "                     start /wait cardwright --script <file> waits for the end and its\n"
    "                     exit status.\n";

fs::path ModuleFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        name.resize(name.size() * 2);
    }
    return fs::path(name).parent_path();
}

}  // namespace

std::vector<std::string> ProgramArguments() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int at = 0; wide != nullptr && at < count; ++at) {
        arguments.push_back(Utf8(wide[at]));
    }
    LocalFree(wide);
    return arguments;
}

ProgramOptions ParseOptions(const std::vector<std::string>& arguments, std::ostream& out,
                            std::ostream& err) {
    ProgramOptions options;
    for (size_t at = 1; at < arguments.size(); ++at) {
        const std::string& argument = arguments[at];
        const bool has_value = at + 1 < arguments.size();
        if (argument == "-h" || argument == "--help" || argument == "-?") {
            out << kHelp << std::flush;
            options.exit_status = 0;
            return options;
        }
        if (argument == "-v" || argument == "--version") {
            out << "Cardwright " << kProjectVersion << '\n' << std::flush;
            options.exit_status = 0;
            return options;
        }
        if (argument == "--config-dir" && has_value) {
            options.config_dir = arguments[++at];
        } else if (argument == "--script" && has_value) {
            options.script = arguments[++at];
        } else if (argument == "--quit-after-start") {
            options.quit_after_start = true;
        } else {
            err << "cardwright: "
                << (argument.starts_with("-")
                        ? (has_value ? "unknown option '" : "missing value or unknown option '")
                        : "unexpected argument '")
                << argument << "'\n"
                << std::flush;
            options.exit_status = 1;
            return options;
        }
    }
    return options;
}

ConfigFolderPlaces WindowsConfigPlaces(const std::optional<std::string>& named) {
    ConfigFolderPlaces places;
    if (named) {
        places.named = fs::path(Wide(*named));
    }
    places.program_dir = ModuleFolder();
    places.examples_dir = places.program_dir / L"examples";
    std::wstring app_data(MAX_PATH, L'\0');
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                   SHGFP_TYPE_CURRENT, app_data.data()))) {
        app_data.resize(app_data.find(L'\0'));
        places.user_config_dir = fs::path(app_data);
    } else {
        places.user_config_dir = places.program_dir;
    }
    return places;
}

ConfigFolder ChooseWindowsConfigFolder(const std::optional<std::string>& named) {
    const ConfigFolderPlaces places = WindowsConfigPlaces(named);
    // The shared rule names the user's folder in lower case. The file system ignores the case of
    // a name and keeps its first spelling: made first as "Cardwright", the folder stays so. Not
    // for a portable copy, which is to leave nothing in the user's profile.
    const fs::path spelled = places.user_config_dir / L"Cardwright";
    std::error_code error;
    const bool portable = fs::is_regular_file(places.program_dir / kDescriptionFile, error) &&
                          fs::is_regular_file(places.program_dir / kValuesFile, error);
    if (!places.named && !portable) {
        fs::create_directory(spelled, error);
    }
    ConfigFolder folder = ChooseConfigFolder(places);
    if (!places.named && !portable) {
        folder.path = spelled;
    }
    return folder;
}

std::optional<std::vector<std::string>> ReadScript(const std::string& file) {
    std::ifstream in(fs::path(Wide(file)), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace cardwright::win32
