#pragma once

#include <sys/stat.h>

namespace carvex {

// Whether a node is a device that a serial driver serves (a serial port, the terminal side of a
// pseudo-terminal), told from its device number without opening it: opening some devices
// changes things, and a link planted in the device root may point anywhere. Where the system's
// driver list cannot be read, any character device passes, and whoever opens it must still check
// that it is a terminal.
bool IsSerialDeviceNode(const struct stat& node);

}  // namespace carvex
