#include "carvex/platform/device_root.h"

namespace carvex {

std::string ComName(int port_number) {
    return "COM" + std::to_string(port_number);
}

std::string ComDevicePath(int port_number) {
    return "\\\\.\\" + ComName(port_number);
}

std::optional<std::string> ComPortName(std::string_view device_path) {
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
    return std::string(device_path);
}

std::filesystem::path DeviceRoot::DeviceClassDirectory(DeviceClass device_class) const {
    return path_ / "devices" / (device_class == DeviceClass::kPorts ? "ports" : "modem");
}

}  // namespace carvex
