#include <windows.h>

#include "carvex/link/port_discovery.h"
#include "carvex/platform/port_diagnosis.h"
#include "carvex/platform/win32_handle.h"
#include "carvex/platform/win32_port_error.h"

namespace carvex {

namespace {

using Cause = PortDiagnosis::Cause;

// The cause behind a failed open, by the Windows error; the words come from the one mapping of
// Windows errors to port errors.
Cause CauseOf(uint32_t error) {
    using namespace win32_error;
    switch (error) {
        case kAccessDenied:
        case kSharingViolation:
            return Cause::kInUse;
        case kFileNotFound:
        case kPathNotFound:
        case kNotReady:
        case kGenFailure:
        case kNoSuchDevice:
        case kDeviceNotConnected:
            return Cause::kGone;
        default:
            return Cause::kCannotOpen;
    }
}

}  // namespace

// Windows tells why a COM port does not open, but not which program holds it.
PortDiagnosis ExplainUnopenableDevice(const std::string& com_name,
                                      const std::filesystem::path& device) {
    const Win32Handle port(::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (port) {
        return {Cause::kNoAnswer,
                com_name + " opens, but the card did not take the switch to DIAG mode",
                com_name + " does not answer"};
    }
    const DWORD error = ::GetLastError();
    const Win32PortFailure failure = PortFailureFor(PortOpenStep::kOpen, error);
    const std::string reason(failure.reason);
    return {CauseOf(error), com_name + " cannot be opened: " + reason, com_name + ": " + reason};
}

// A COM port that Windows no longer maps to a device has gone with its card.
bool PortGone(const DeviceRoot& /*root*/, int number) {
    const std::wstring name = L"COM" + std::to_wstring(number);
    wchar_t target[512];
    return ::QueryDosDeviceW(name.c_str(), target, 512) == 0;
}

PortDiagnosis ExplainUnopenablePort(const DeviceRoot& root, int number) {
    const std::string com_name = ComName(number);
    const auto device = root.ResolveDevicePath(com_name);
    if (!device) {
        return {Cause::kNotPublished, com_name + " is not a port Windows knows",
                com_name + " is unknown"};
    }
    return ExplainUnopenableDevice(com_name, *device);
}

PortDiagnosis ExplainUnopenableCard(const DeviceRoot& root) {
    if (const auto port = FindDiagPort(root)) {
        return ExplainUnopenablePort(root, *port);
    }
    return {Cause::kNoCard, "no card found: no PC UI interface among the serial ports",
            "no card found"};
}

}  // namespace carvex
