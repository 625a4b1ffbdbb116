#include "carvex/platform/device_root.h"

namespace carvex {

// Windows itself keeps the serial devices, device lists and registry: the root names nothing.
DeviceRoot DeviceRoot::FromEnvironment() {
    return DeviceRoot({});
}

std::optional<std::filesystem::path> DeviceRoot::ResolveDevicePath(
    std::string_view device_path) const {
    const auto name = ComPortName(device_path);
    if (!name) {
        return std::nullopt;
    }
    return std::filesystem::path("\\\\.\\" + *name);
}

}  // namespace carvex
