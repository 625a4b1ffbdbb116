#include "tools/carvex-udev/udev_properties.h"

#include <fstream>
#include <string_view>

extern char** environ;

namespace carvexudev {

Properties PropertiesFromEnvironment() {
    Properties properties;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const size_t equals = text.find('=');
        if (equals != std::string_view::npos) {
            properties.emplace(text.substr(0, equals), text.substr(equals + 1));
        }
    }
    return properties;
}

Properties PropertiesFromDatabase(const std::filesystem::path& data_dir, int major, int minor) {
    Properties properties;
    std::ifstream file(data_dir / ("c" + std::to_string(major) + ":" + std::to_string(minor)));
    std::string line;
    while (std::getline(file, line)) {
        const size_t equals = line.find('=');
        if (line.starts_with("E:") && equals != std::string::npos) {
            properties.emplace(line.substr(2, equals - 2), line.substr(equals + 1));
        }
    }
    return properties;
}

std::optional<std::string> Find(const Properties& properties, const std::string& key) {
    const auto it = properties.find(key);
    if (it == properties.end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace carvexudev
