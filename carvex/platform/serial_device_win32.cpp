#include <windows.h>

#include <algorithm>

#include "carvex/platform/pause.h"
#include "carvex/platform/serial_device.h"
#include "carvex/platform/win32_handle.h"
#include "carvex/platform/win32_port_error.h"

namespace carvex {

// Each overlapped operation has its own event, as the reader (comm wait, reads) and the writer
// run on different threads. The cancel event is manual-reset, so that WaitForCancel can look
// at it without taking it.
struct SerialDevice::Handles {
    Win32Handle port;
    Win32Handle cancel_event;
    Win32Handle wait_event;
    Win32Handle read_event;
    Win32Handle write_event;
    OVERLAPPED wait{};
    DWORD wait_mask = 0;
    bool wait_pending = false;  // a WaitCommEvent is outstanding on `wait`
};

namespace {

// Real time between two looks at a port whose driver ended a wait without an event.
constexpr DWORD kEmptyWaitPauseMs = 5;

Win32Handle NewEvent(bool manual_reset) {
    return Win32Handle(::CreateEventW(nullptr, manual_reset ? TRUE : FALSE, FALSE, nullptr));
}

DWORD Milliseconds(std::chrono::nanoseconds duration) {
    const auto count = std::chrono::ceil<std::chrono::milliseconds>(duration).count();
    return static_cast<DWORD>(std::clamp<int64_t>(count, 0, INFINITE - 1));
}

// Waits for an overlapped operation to end, whatever its outcome: its OVERLAPPED and buffer
// must stay until the driver lets go of them.
bool Finish(HANDLE port, OVERLAPPED* operation, DWORD* transferred) {
    return ::GetOverlappedResult(port, operation, transferred, TRUE) != 0;
}

void StopPending(HANDLE port, OVERLAPPED* operation) {
    DWORD ignored = 0;
    ::CancelIoEx(port, operation);
    Finish(port, operation, &ignored);
}

}  // namespace

SerialDevice::SerialDevice() = default;

SerialDevice::~SerialDevice() {
    Close();
}

bool SerialDevice::IsOpen() const {
    return handles_ != nullptr;
}

int32_t SerialDevice::Fail(int32_t code, int system_error) {
    last_system_error_ = system_error;
    return code;
}

int32_t SerialDevice::Open(const std::filesystem::path& device, uint32_t baud_rate) {
    last_system_error_ = 0;
    // The port code and the system's error for the step that failed, the error taken at once.
    const auto fail_with = [this](PortOpenStep step) {
        const DWORD error = ::GetLastError();
        return Fail(PortFailureFor(step, error).code, static_cast<int>(error));
    };
    auto handles = std::make_unique<Handles>();
    handles->cancel_event = NewEvent(true);
    handles->wait_event = NewEvent(true);
    handles->read_event = NewEvent(true);
    handles->write_event = NewEvent(true);
    // Without its events no wait could be woken: no port then.
    if (!handles->cancel_event || !handles->wait_event || !handles->read_event ||
        !handles->write_event) {
        return fail_with(PortOpenStep::kOpen);
    }
    handles->wait.hEvent = handles->wait_event.Get();
    // No sharing: a COM port has one owner, and a second opener gets "access denied".
    handles->port.Reset(::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!handles->port) {
        return fail_with(PortOpenStep::kOpen);
    }
    const HANDLE port = handles->port.Get();
    if (::GetFileType(port) != FILE_TYPE_CHAR) {
        return Fail(PortFailureFor(PortOpenStep::kOpen, ERROR_BAD_DEVICE).code, ERROR_BAD_DEVICE);
    }

    ::SetCommMask(port, EV_RXCHAR);
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!::GetCommState(port, &settings)) {
        return fail_with(PortOpenStep::kReadSettings);
    }
    settings.BaudRate = baud_rate;
    settings.fBinary = TRUE;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDsrSensitivity = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    if (!::SetCommState(port, &settings)) {
        return fail_with(PortOpenStep::kApplySettings);
    }
    // A read returns at once with what is queued: readers wait for the port's event instead.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(port, &timeouts)) {
        return fail_with(PortOpenStep::kApplySettings);
    }
    // A COM port opens with empty queues; the emulation of one on a pty may still hold a reply
    // that came before the last close.
    ::PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    handles_ = std::move(handles);
    return kPortNoError;
}

void SerialDevice::Close() {
    if (!handles_) {
        return;
    }
    if (handles_->wait_pending) {
        // Setting the mask ends a pending wait (Wine's emulation notices nothing else), and the
        // cancel covers drivers that ignore it.
        ::SetCommMask(handles_->port.Get(), EV_RXCHAR);
        StopPending(handles_->port.Get(), &handles_->wait);
    }
    handles_.reset();
}

bool SerialDevice::WriteAll(std::span<const uint8_t> bytes, std::chrono::nanoseconds limit) {
    const HANDLE port = handles_->port.Get();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!bytes.empty()) {
        OVERLAPPED write{};
        write.hEvent = handles_->write_event.Get();
        ::ResetEvent(write.hEvent);
        DWORD written = 0;
        const DWORD count = static_cast<DWORD>(std::min<size_t>(bytes.size(), MAXDWORD));
        if (!::WriteFile(port, bytes.data(), count, &written, &write)) {
            if (::GetLastError() != ERROR_IO_PENDING) {
                return false;
            }
            const auto left = deadline - std::chrono::steady_clock::now();
            if (::WaitForSingleObject(write.hEvent, Milliseconds(left)) != WAIT_OBJECT_0) {
                // A peer that stopped reading cannot hold the caller for good.
                StopPending(port, &write);
                return false;
            }
            if (!Finish(port, &write, &written)) {
                return false;
            }
        }
        if (written == 0) {
            return false;
        }
        bytes = bytes.subspan(written);
    }
    return true;
}

std::optional<size_t> SerialDevice::Queued() const {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(handles_->port.Get(), &errors, &status)) {
        return std::nullopt;
    }
    return static_cast<size_t>(status.cbInQue);
}

std::optional<size_t> SerialDevice::Drain(std::span<uint8_t> bytes) {
    const HANDLE port = handles_->port.Get();
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port, &errors, &status)) {
        return std::nullopt;  // the device went away
    }
    const DWORD count = static_cast<DWORD>(std::min<size_t>(status.cbInQue, bytes.size()));
    if (count == 0) {
        return 0;
    }
    OVERLAPPED read{};
    read.hEvent = handles_->read_event.Get();
    ::ResetEvent(read.hEvent);
    DWORD got = 0;
    if (!::ReadFile(port, bytes.data(), count, &got, &read)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            return error == ERROR_OPERATION_ABORTED ? std::optional<size_t>(0) : std::nullopt;
        }
        // The bytes are queued already: the read completes at once.
        if (!Finish(port, &read, &got)) {
            // Cancel purged the queue under the read; the reader sees the cancel next.
            return ::GetLastError() == ERROR_OPERATION_ABORTED ? std::optional<size_t>(0)
                                                               : std::nullopt;
        }
    }
    return static_cast<size_t>(got);
}

// Whether Cancel came within the short pause between two looks at a port whose driver gave no
// event; the cancel is consumed.
bool SerialDevice::CancelledWithinPause() {
    if (::WaitForSingleObject(handles_->cancel_event.Get(), kEmptyWaitPauseMs) != WAIT_OBJECT_0) {
        return false;
    }
    ::ResetEvent(handles_->cancel_event.Get());
    return true;
}

SerialDevice::Wait SerialDevice::WaitReadable() {
    Handles& h = *handles_;
    const HANDLE port = h.port.Get();
    for (;;) {
        if (!h.wait_pending) {
            ::ResetEvent(h.wait.hEvent);
            h.wait_mask = 0;
            if (::WaitCommEvent(port, &h.wait_mask, &h.wait)) {
                if (h.wait_mask != 0) {
                    return Wait::kReadable;
                }
            } else if (::GetLastError() == ERROR_IO_PENDING) {
                h.wait_pending = true;
            }
            // A wait that would not start: the look at the queue below tells a device that is
            // gone from a driver that refuses a wait for the moment (Wine does while it is still
            // ending the previous one).
        }
        // Bytes that came in before the wait began raise no event of their own.
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(port, &errors, &status)) {
            return Wait::kHungUp;
        }
        if (status.cbInQue > 0) {
            return Wait::kReadable;
        }
        if (!h.wait_pending) {
            if (CancelledWithinPause()) {
                return Wait::kCancelled;
            }
            continue;
        }
        const HANDLE events[2] = {h.wait.hEvent, h.cancel_event.Get()};
        switch (::WaitForMultipleObjects(2, events, FALSE, INFINITE)) {
            case WAIT_OBJECT_0: {
                h.wait_pending = false;
                DWORD ignored = 0;
                if (::GetOverlappedResult(port, &h.wait, &ignored, FALSE) && h.wait_mask != 0) {
                    return Wait::kReadable;
                }
                // The wait ended without an event: the queues were purged, or the driver cannot
                // watch the port. Wine's emulation on a pseudo-terminal ends every wait within a
                // millisecond, as it cannot read the modem lines there. The next look comes after
                // a short pause that Cancel cuts short, so such a driver costs no busy loop; a
                // device that is gone fails that look.
                if (CancelledWithinPause()) {
                    return Wait::kCancelled;
                }
                break;
            }
            case WAIT_OBJECT_0 + 1:
                ::ResetEvent(h.cancel_event.Get());
                return Wait::kCancelled;
            default:
                return Wait::kHungUp;
        }
    }
}

bool SerialDevice::WaitForCancel(std::chrono::nanoseconds timeout) {
    if (!handles_) {
        PauseFor(timeout);  // as a wait on a cancel that can no longer come
        return false;
    }
    return ::WaitForSingleObject(handles_->cancel_event.Get(), Milliseconds(timeout)) ==
           WAIT_OBJECT_0;
}

void SerialDevice::Cancel() {
    ::SetEvent(handles_->cancel_event.Get());
    ::PurgeComm(handles_->port.Get(),
                PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

}  // namespace carvex
