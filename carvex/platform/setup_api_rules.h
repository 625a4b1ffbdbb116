#pragma once

#include <cstdint>

#include "carvex/platform/device_root.h"

namespace carvex {

// What a failed SetupDiEnumDeviceInfo at one index means for the enumeration of a device class,
// by the thread's last error: "no more items" (259) and 0 end it, and for the Modem class so
// does 103; any other error only skips that index.
enum class FailedEnumeration { kEnds, kSkipsIndex };

FailedEnumeration AfterFailedEnumeration(DeviceClass device_class, uint32_t last_error);

}  // namespace carvex
