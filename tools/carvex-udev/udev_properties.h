#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace carvexudev {

// A device's udev properties (ACTION, DEVPATH, ID_PATH, ID_MM_PORT_TYPE_..., ...).
using Properties = std::map<std::string, std::string>;

// The properties of the event udev runs the program for: its whole environment.
Properties PropertiesFromEnvironment();

// What udev recorded for the character device major:minor in its database ("E:KEY=value" lines
// of data_dir/c<major>:<minor>); empty when udev has no record of it.
Properties PropertiesFromDatabase(const std::filesystem::path& data_dir, int major, int minor);

std::optional<std::string> Find(const Properties& properties, const std::string& key);

}  // namespace carvexudev
