#include "tools/carvexctl/default_description.h"

#include <cstdlib>
#include <optional>
#include <system_error>

#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/command_failure.h"

namespace carvexctl {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || !fs::path(value).is_absolute()) {
        return std::nullopt;
    }
    return fs::path(value);
}

}  // namespace

fs::path ConfigurationFolder() {
    if (const auto config = AbsoluteVariable("XDG_CONFIG_HOME")) {
        return *config / "cardwright";
    }
    if (const auto home = AbsoluteVariable("HOME")) {
        return *home / ".config" / "cardwright";
    }
    if (const auto roaming = AbsoluteVariable("APPDATA")) {
        return *roaming / "cardwright";
    }
    return {};
}

fs::path ChosenDescription(const std::string& named, std::ostream& told) {
    if (!named.empty()) {
        return named;
    }
    const fs::path folder = ConfigurationFolder();
    if (folder.empty()) {
        throw Refusal("no --description given, and no configuration folder to take one from");
    }
    fs::path file = folder / "Config_Info.ini";
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        throw Refusal("no --description given, and " + carvex::PrintableText(folder.string()) +
                      " holds no Config_Info.ini");
    }
    told << "carvexctl: the description is " << carvex::PrintableText(file.string()) << "\n";
    return file;
}

}  // namespace carvexctl
