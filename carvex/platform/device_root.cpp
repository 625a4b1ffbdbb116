#include "carvex/platform/device_root.h"

#include <cstdlib>

namespace carvex {

std::string ComName(int port_number) {
    return "COM" + std::to_string(port_number);
}

std::string ComDevicePath(int port_number) {
    return "\\\\.\\" + ComName(port_number);
}

DeviceRoot DeviceRoot::FromEnvironment() {
    const char* value = std::getenv(kEnvironmentVariable);
    return DeviceRoot(value != nullptr && *value != '\0' ? value : kDefaultPath);
}

std::filesystem::path DeviceRoot::DeviceClassDirectory(DeviceClass device_class) const {
    return path_ / "devices" / (device_class == DeviceClass::kPorts ? "ports" : "modem");
}

std::optional<std::filesystem::path> DeviceRoot::ResolveDevicePath(
    std::string_view device_path) const {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    if (device_path.starts_with(kDevicePrefix)) {
        device_path.remove_prefix(kDevicePrefix.size());
    }
    if (device_path.size() < 4 || device_path.substr(0, 3) != "COM") {
        return std::nullopt;
    }
    for (char c : device_path.substr(3)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    return ComDirectory() / std::string(device_path);
}

}  // namespace carvex
