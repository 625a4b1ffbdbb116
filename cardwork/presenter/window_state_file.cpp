#include "cardwork/presenter/window_state_file.h"

#include <string>
#include <utility>
#include <vector>

#include "cardwork/model/ini_file.h"

namespace cardwright {

namespace {

constexpr std::string_view kSection = "window";

}  // namespace

std::optional<WindowState> ReadWindowState(const std::filesystem::path& file) {
    const IniFile ini(file);
    if (!ini.SectionExists(kSection)) {
        return std::nullopt;
    }
    WindowState state;
    state.x = ini.ReadInteger(kSection, "left", 0);
    state.y = ini.ReadInteger(kSection, "top", 0);
    state.width = ini.ReadInteger(kSection, "width", 0);
    state.height = ini.ReadInteger(kSection, "height", 0);
    state.maximized = ini.ReadBool(kSection, "maximized", false);
    state.log_height = ini.ReadInteger(kSection, "log_height", 0);
    if (state.width <= 0 || state.height <= 0) {
        return std::nullopt;
    }
    return state;
}

bool WriteWindowState(const std::filesystem::path& file, const WindowState& state) {
    const std::vector<std::pair<std::string, std::string>> entries{
        {"left", std::to_string(state.x)},
        {"top", std::to_string(state.y)},
        {"width", std::to_string(state.width)},
        {"height", std::to_string(state.height)},
        {"maximized", state.maximized ? "1" : "0"},
        {"log_height", std::to_string(state.log_height)},
    };
    return IniFile(file).WriteStrings(kSection, entries);
}

}  // namespace cardwright
