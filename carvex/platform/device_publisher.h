#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "carvex/platform/device_root.h"

namespace carvex {

// Makes devices visible in a device root: what a card's driver does when it is plugged in.
// Used by the simulated card and by tests; the library itself only reads the root.
class DevicePublisher {
  public:
    explicit DevicePublisher(DeviceRoot root) : root_(std::move(root)) {}

    const DeviceRoot& Root() const { return root_; }

    // com/<name> -> target (a tty device).
    void PublishComPort(std::string_view name, const std::filesystem::path& target);
    void RemoveComPort(std::string_view name);

    // devices/<class>/<index>/FriendlyName; without a name the device's property cannot be read.
    void PublishDevice(DeviceClass device_class, int index,
                       std::optional<std::string_view> friendly_name);
    void RemoveDevice(DeviceClass device_class, int index);

    // A string value under HKEY_LOCAL_MACHINE; the key path uses backslashes.
    void SetRegistryValue(std::string_view key_path, std::string_view name, std::string_view value);
    void CreateRegistryKey(std::string_view key_path);
    void RemoveRegistryKey(std::string_view key_path);
    // A key whose permissions refuse the library's request.
    void DenyRegistryKey(std::string_view key_path);

  private:
    std::filesystem::path KeyDirectory(std::string_view key_path) const;

    DeviceRoot root_;
};

}  // namespace carvex
