#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace carvex {

enum class DeviceClass { kPorts, kModem };

// The registry key under HKEY_LOCAL_MACHINE whose subkeys describe the installed modems.
inline constexpr std::string_view kModemClassKey =
    "System\\CurrentControlSet\\Control\\Class\\{4D36E96D-E325-11CE-BFC1-08002BE10318}";

// The most a name or a value read from the device root may hold. What lies there is read as a
// whole regular file of at most this size (never a pipe or a device), so whatever someone put
// there can neither stall a reader nor take all its memory.
inline constexpr uint64_t kMaxDeviceRootValueBytes = uint64_t{64} * 1024;

// "COM12": a COM port's name.
std::string ComName(int port_number);
// "\\.\COM12": how a COM port is named for opening.
std::string ComDevicePath(int port_number);

// "COM12" for "\\.\COM12" or "COM12"; nullopt for anything that names no COM port.
std::optional<std::string> ComPortName(std::string_view device_path);

// The directory under which the machine's serial devices, device lists and registry are found.
// Only the entry points (the exports that discover ports, the programs) build one from the
// environment; everything below them is handed the object. On Windows the system's own services
// stand behind it: the root is empty there and the environment does not name it.
class DeviceRoot {
  public:
    static constexpr const char* kEnvironmentVariable = "CARVEX_ROOT";
    static constexpr const char* kDefaultPath = "/run/carvex";

    explicit DeviceRoot(std::filesystem::path path) : path_(std::move(path)) {}

    static DeviceRoot FromEnvironment();

    const std::filesystem::path& Path() const { return path_; }

    std::filesystem::path ComDirectory() const { return path_ / "com"; }
    std::filesystem::path DeviceClassDirectory(DeviceClass device_class) const;
    std::filesystem::path RegistryDirectory() const { return path_ / "registry"; }
    // usb/COMn: the USB device a published port belongs to, as the kernel names it (its sysfs
    // path, "/sys/devices/..."), which is also how ModemManager names the modem.
    std::filesystem::path UsbDeviceDirectory() const { return path_ / "usb"; }

    // "\\.\COM12" (or plain "COM12") names the entry com/COM12 (on Windows the device
    // \\.\COM12 itself); anything else names nothing.
    std::optional<std::filesystem::path> ResolveDevicePath(std::string_view device_path) const;

  private:
    std::filesystem::path path_;
};

}  // namespace carvex
