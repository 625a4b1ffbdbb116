#include "carvex/platform/setup_api_rules.h"

#include "carvex/platform/win32_port_error.h"

namespace carvex {

FailedEnumeration AfterFailedEnumeration(DeviceClass device_class, uint32_t last_error) {
    using namespace win32_error;
    if (last_error == kNoMoreItems || last_error == kSuccess) {
        return FailedEnumeration::kEnds;
    }
    if (device_class == DeviceClass::kModem && last_error == kTooManySemRequests) {
        return FailedEnumeration::kEnds;
    }
    return FailedEnumeration::kSkipsIndex;
}

}  // namespace carvex
