#include "carvex/platform/win32_port_error.h"

#include "carvex/platform/serial_device.h"

namespace carvex {

Win32PortFailure PortFailureFor(PortOpenStep step, uint32_t win32_error) {
    using namespace win32_error;
    switch (step) {
        case PortOpenStep::kReadSettings:
            return {kPortSettingsUnreadable, "its line settings cannot be read"};
        case PortOpenStep::kApplySettings:
            return {kPortSettingsRejected, "it does not take the line settings"};
        case PortOpenStep::kOpen:
            break;
    }
    switch (win32_error) {
        case kFileNotFound:
        case kPathNotFound:
        case kInvalidName:
            return {kPortCannotOpen, "there is no such port"};
        // A COM port has one owner: CreateFile without sharing refuses a second opener so.
        case kAccessDenied:
        case kSharingViolation:
            return {kPortCannotOpen, "another program has it open"};
        case kNotReady:
        case kGenFailure:
        case kNoSuchDevice:
        case kDeviceNotConnected:
            return {kPortCannotOpen, "the device is not connected"};
        default:
            return {kPortCannotOpen, "it cannot be opened"};
    }
}

}  // namespace carvex
