#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "carvex/platform/unique_fd.h"

namespace carvex {

// Port error codes, as callers of the serial channel see them.
enum PortError : int32_t {
    kPortNoError = 0,
    kPortAlreadyOpen = 3,
    kPortSettingsUnreadable = 5,
    kPortSettingsRejected = 6,
    kPortCannotOpen = 10,
};

// One serial device (a COM port): exclusive, raw 8N1 without flow control, blocking transfers,
// and a cancel descriptor that wakes a blocked wait. Shared by the DIAG port and the AT port.
class SerialDevice {
  public:
    enum class Wait { kReadable, kCancelled, kHungUp };

    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens and configures the device; returns kPortNoError or the failure's code. After a
    // failure to read or apply the settings the device stays open, as the caller may expect.
    int32_t Open(const std::filesystem::path& device, uint32_t baud_rate);
    bool IsOpen() const { return fd_.Valid(); }
    void Close();

    bool WriteAll(std::span<const uint8_t> bytes);

    // Bytes waiting in the input queue; nullopt when the driver cannot tell.
    std::optional<size_t> QueuedBytes() const;

    // Reads at most bytes.size() bytes, blocking until at least one arrives; nullopt on failure
    // or hang-up.
    std::optional<size_t> ReadSome(std::span<uint8_t> bytes);

    // Waits without limit for received bytes, a hang-up or Cancel; a cancel is consumed.
    Wait WaitReadable();

    // Waits up to `timeout` for Cancel without consuming it; true when it came.
    bool WaitForCancel(std::chrono::nanoseconds timeout);

    // Wakes the pending wait and discards both queues.
    void Cancel();

  private:
    // Discards both queues without waking anyone.
    void Purge();

    UniqueFd fd_;
    UniqueFd cancel_fd_;
};

}  // namespace carvex
