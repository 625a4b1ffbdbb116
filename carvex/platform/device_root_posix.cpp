#include <cstdlib>

#include "carvex/platform/device_root.h"

namespace carvex {

DeviceRoot DeviceRoot::FromEnvironment() {
    const char* value = std::getenv(kEnvironmentVariable);
    return DeviceRoot(value != nullptr && *value != '\0' ? value : kDefaultPath);
}

std::optional<std::filesystem::path> DeviceRoot::ResolveDevicePath(
    std::string_view device_path) const {
    const auto name = ComPortName(device_path);
    if (!name) {
        return std::nullopt;
    }
    return ComDirectory() / *name;
}

}  // namespace carvex
