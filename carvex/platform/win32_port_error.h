#pragma once

#include <cstdint>
#include <string_view>

namespace carvex {

// The Windows error numbers a COM port's opening and its device lists meet. Plain numbers, so
// the rules built on them are the same code on every build machine.
namespace win32_error {
inline constexpr uint32_t kSuccess = 0;
inline constexpr uint32_t kFileNotFound = 2;
inline constexpr uint32_t kPathNotFound = 3;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kInvalidHandle = 6;
inline constexpr uint32_t kNotReady = 21;
inline constexpr uint32_t kBadCommand = 22;
inline constexpr uint32_t kGenFailure = 31;
inline constexpr uint32_t kSharingViolation = 32;
inline constexpr uint32_t kInvalidParameter = 87;
inline constexpr uint32_t kTooManySemRequests = 103;
inline constexpr uint32_t kInvalidName = 123;
inline constexpr uint32_t kNoMoreItems = 259;
inline constexpr uint32_t kOperationAborted = 995;
inline constexpr uint32_t kNoSuchDevice = 433;
inline constexpr uint32_t kDeviceNotConnected = 1167;
}  // namespace win32_error

// The step of opening a serial device that failed.
enum class PortOpenStep { kOpen, kReadSettings, kApplySettings };

// A failure to open a COM port: the port error code callers see (5, 6 or 10) and the reason in
// words for a person.
struct Win32PortFailure {
    int32_t code;
    std::string_view reason;
};

// The only place that turns a Windows error into a port error code.
Win32PortFailure PortFailureFor(PortOpenStep step, uint32_t win32_error);

}  // namespace carvex
