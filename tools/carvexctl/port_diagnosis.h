#pragma once

#include <string>

#include "carvex/platform/device_root.h"

namespace carvexctl {

// Why the port COM<number> of the device root cannot be opened, in one sentence for the user:
// not published, gone, not permitted (and which group to join), in use by another process (and
// which), or, when it opens, that the card did not take the switch to DIAG.
std::string ExplainUnopenablePort(const carvex::DeviceRoot& root, int number);

// The same for a tty path alone, named as `com_name` in the sentence.
std::string ExplainUnopenableDevice(const std::string& com_name, const std::string& device);

}  // namespace carvexctl
