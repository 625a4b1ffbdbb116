#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/carvex-udev/card_table.h"
#include "tools/carvex-udev/udev_properties.h"

namespace carvexudev {

// A tty whose parent is an interface of a USB device, with what tells which port it is.
struct UsbTty {
    std::string name;               // ttyUSB2
    std::string devpath;            // /devices/.../ttyUSB2/tty/ttyUSB2, below the sysfs root
    std::filesystem::path devnode;  // /dev/ttyUSB2
    int major = -1;
    int minor = -1;
    std::string usb_device;  // devpath of the USB device: the card the port belongs to
    UsbInterfaceId id;
    std::optional<std::string> interface_name;  // the interface's own name, when it has one
    // The own names of every interface of the USB device (one of them may name itself as the
    // card's PC UI interface).
    std::vector<std::string> device_interface_names;
    std::string id_path;         // udev's ID_PATH; empty when not known
    bool mm_at_primary = false;  // ModemManager's port tags
    bool mm_at_secondary = false;
};

// The tty at `devpath` when one of its ancestors is a USB interface (bInterfaceNumber) whose
// parent is a USB device (idVendor, idProduct); nullopt for any other tty, or none at all.
std::optional<UsbTty> DescribeUsbTty(const std::filesystem::path& sysfs, std::string_view devpath);

// What udev knows about the port (the event's environment or its database) over what sysfs
// said: DEVNAME, ID_VENDOR_ID, ID_MODEL_ID, ID_USB_INTERFACE_NUM, ID_PATH, ModemManager's tags.
void ApplyUdevProperties(const Properties& properties, UsbTty& tty);

struct TtyEntry {
    std::string name;
    std::string devpath;
    std::optional<UsbTty> usb;  // nullopt: not on a USB interface
};

// Every tty of sysfs's class/tty, in name order.
std::vector<TtyEntry> ListTtys(const std::filesystem::path& sysfs);

}  // namespace carvexudev
