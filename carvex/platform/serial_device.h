#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#if !defined(_WIN32)
#include "carvex/platform/unique_fd.h"
#endif

namespace carvex {

// Port error codes, as callers of the serial channel see them.
enum PortError : int32_t {
    kPortNoError = 0,
    kPortAlreadyOpen = 3,
    kPortSettingsUnreadable = 5,
    kPortSettingsRejected = 6,
    kPortCannotOpen = 10,
};

// One serial device (a COM port): exclusive, raw 8N1 without flow control, and a cancel
// descriptor that wakes a waiting reader. Shared by the DIAG port and the AT port.
//
// Reading is two separate steps: Drain takes what the driver has queued and never blocks;
// WaitReadable waits, only in poll (on Windows for the port's event), for data, a hang-up or
// Cancel. So a flush between the two can never leave a reader stuck in read().
class SerialDevice {
  public:
    enum class Wait { kReadable, kCancelled, kHungUp };

    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens and configures the device; returns kPortNoError or the failure's code. Only a
    // serial device (a character device that is a terminal) is opened at all, and only when no
    // other program has it open (kPortCannotOpen, as for a COM port in use); it is kept only once
    // it is locked and set up, so a failure leaves nothing open or locked. Input the device held
    // from before is discarded, as a freshly opened COM port starts with empty queues.
    int32_t Open(const std::filesystem::path& device, uint32_t baud_rate);
    bool IsOpen() const;
    void Close();

    // The operating system's error number behind the last failed Open (0 after a success):
    // what a diagnosis names when it says why the port cannot be opened.
    int LastSystemError() const { return last_system_error_; }

    // Sends every byte within `limit` (a real duration); a device that has not taken them all by
    // then fails the write, so a peer that stopped reading cannot hold the caller for good.
    bool WriteAll(std::span<const uint8_t> bytes, std::chrono::nanoseconds limit);

    // Reads what is queued, at most bytes.size() bytes, without blocking: the count (0 when
    // nothing is queued), or nullopt when the device failed or hung up.
    std::optional<size_t> Drain(std::span<uint8_t> bytes);

    // How many received bytes the device holds, without taking them; nullopt when it cannot say.
    std::optional<size_t> Queued() const;

    // Waits without limit for received bytes, a hang-up or Cancel; a cancel is consumed.
    Wait WaitReadable();

    // Waits up to `timeout` (a real duration) for Cancel without consuming it; true when it came.
    bool WaitForCancel(std::chrono::nanoseconds timeout);

    // Wakes the waiting reader and discards both queues. Takes no lock: safe from any thread
    // while the device is open.
    void Cancel();

  private:
    int32_t Fail(int32_t code, int system_error);

#if defined(_WIN32)
    bool CancelledWithinPause();

    // The port handle, the cancel event and the state of the overlapped operations.
    struct Handles;
    std::unique_ptr<Handles> handles_;
#else
    UniqueFd fd_;
    UniqueFd cancel_fd_;
#endif
    int last_system_error_ = 0;
};

}  // namespace carvex
