#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "carvex/platform/device_root.h"
#include "carvex/platform/publishing_folder.h"

namespace carvex {

// One subkey of a registry key with its string values, for replacing a key's subkeys at once.
struct RegistrySubkey {
    std::string name;
    std::vector<std::pair<std::string, std::string>> values;
};

// Writes the whole file under a new, unique name (readable by everyone from the start, never
// through a link planted there) and renames it over path, so a reader never sees half. The
// file's folder is made where missing and must be safe to publish in (PreparePublishingRoot).
// Throws when it cannot.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view text);

// Makes devices visible in a device root: what a card's driver does when it is plugged in.
// Used by the simulated card, the udev publisher and tests; the library itself only reads the
// root. Writers that may run at the same time hold a DevicePublisherLock around their changes.
//
// Run as root, it must not be led to write elsewhere by a user who can change the root: the
// root and every folder it writes into are checked first (PreparePublishingFolder) and every
// change throws UnsafeFolder, with nothing written, when one of them is not safe.
class DevicePublisher {
  public:
    explicit DevicePublisher(DeviceRoot root) : root_(std::move(root)) {}

    const DeviceRoot& Root() const { return root_; }

    // com/<name> -> target (a tty device), replaced with one rename.
    void PublishComPort(std::string_view name, const std::filesystem::path& target);
    void RemoveComPort(std::string_view name);

    // usb/<name>: the USB device the port com/<name> belongs to (its sysfs path).
    void PublishUsbDevice(std::string_view name, std::string_view device);
    void RemoveUsbDevice(std::string_view name);

    // devices/<class>/<index>/FriendlyName; without a name the device's property cannot be read.
    void PublishDevice(DeviceClass device_class, int index,
                       std::optional<std::string_view> friendly_name);
    void RemoveDevice(DeviceClass device_class, int index);

    // The whole list of a device class, index 0 first. It is built beside the current list and
    // swapped in with one rename, so a reader enumerating the class never meets a gap.
    void PublishDeviceList(DeviceClass device_class, std::span<const std::string> friendly_names);

    // A string value under HKEY_LOCAL_MACHINE; the key path uses backslashes.
    void SetRegistryValue(std::string_view key_path, std::string_view name, std::string_view value);
    void CreateRegistryKey(std::string_view key_path);
    void RemoveRegistryKey(std::string_view key_path);
    // A key whose permissions refuse the library's request.
    void DenyRegistryKey(std::string_view key_path);
    // Replaces every subkey of a key at once, swapped in like a device list.
    void PublishRegistrySubkeys(std::string_view key_path, std::span<const RegistrySubkey> subkeys);

  private:
    // The key's folder, relative to the root.
    std::filesystem::path KeyDirectory(std::string_view key_path) const;

    DeviceRoot root_;
};

}  // namespace carvex
