#pragma once

#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "tools/carvex-udev/sysfs_tty.h"

namespace carvexudev {

// The physical port a tty sits on: udev's ID_PATH (the USB path down to the port) and the
// interface number; where udev's path is not known, the USB device's place in sysfs.
std::string PortKey(const UsbTty& tty);

// COM numbers that stay with a physical port from one plug to the next, as Windows keeps them:
// a state file of "COMn<TAB>port key" lines. A port seen for the first time takes the lowest
// number from 3 on that no port has had; numbers are never handed to another port.
class ComNumbers {
  public:
    static constexpr int kFirstNumber = 3;
    static constexpr const char* kFileName = "com-ports";

    explicit ComNumbers(std::filesystem::path state_dir) : state_dir_(std::move(state_dir)) {}

    // The numbers of the given ports, in the same order; new ones are recorded. Several
    // publishers may ask at once: the state file is locked while it is read and written.
    std::vector<int> NumbersFor(std::span<const std::string> port_keys) const;
    int NumberFor(const std::string& port_key) const;

    // What the state file holds, port key to number.
    std::map<std::string, int> Assigned() const;

  private:
    std::filesystem::path state_dir_;
};

}  // namespace carvexudev
