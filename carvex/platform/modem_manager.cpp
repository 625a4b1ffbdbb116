#include "carvex/platform/modem_manager.h"

#include <algorithm>

#include "carvex/platform/whole_file.h"

namespace carvex {

namespace {

ModemManagerMode ModeOfThisMachine() {
    // Lines it cannot read are carvex-udev's to report (and `carvexctl ports --why`'s).
    std::vector<std::string> ignored;
    return LoadCarvexConf(ignored).modemmanager;
}

}  // namespace

std::optional<std::string> PublishedUsbDevice(const DeviceRoot& root, int com) {
    if (root.Path().empty()) {
        return std::nullopt;
    }
    const WholeFile file =
        ReadWholeFile(root.UsbDeviceDirectory() / ComName(com), kMaxDeviceRootValueBytes);
    std::string device = file.content;
    while (!device.empty() && (device.back() == '\n' || device.back() == '\r')) {
        device.pop_back();
    }
    // A sysfs path: goes on the bus as it is, so nothing that D-Bus refuses or a log garbles.
    const bool plain = std::all_of(device.begin(), device.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
    });
    if (file.stamp.kind != FileStamp::Kind::kFile || !device.starts_with('/') || !plain) {
        return std::nullopt;
    }
    return device;
}

ModemManagerBorrow::ModemManagerBorrow(const DeviceRoot& root, std::optional<int> port,
                                       const Say& say)
    : ModemManagerBorrow(root, port, ModeOfThisMachine(), say) {}

}  // namespace carvex
