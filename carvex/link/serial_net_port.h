#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "carvex/link/net_port.h"
#include "carvex/platform/device_root.h"
#include "carvex/platform/serial_device.h"

namespace carvex {

// The card's PC UI interface as a NetPort: "\\.\COMn" at a given line speed.
class SerialNetPort final : public NetPort {
  public:
    static constexpr uint32_t kDefaultBaudRate = 115200;

    explicit SerialNetPort(DeviceRoot root);
    ~SerialNetPort() override;

    void Configure(int port_number, uint32_t baud_rate);
    bool Open();

    bool Write(std::span<const uint8_t> bytes) override;
    bool Read(std::span<uint8_t> bytes, uint32_t* received) override;
    int32_t LastError() const override { return last_error_; }
    // The system's error number behind the last failed Open.
    int LastSystemError() const { return device_.LastSystemError(); }
    void Close() override;
    void Cancel() override;
    bool WaitForCancel(std::chrono::nanoseconds timeout) override;
    std::optional<uint64_t> BytesReceived() override;
    std::optional<uint64_t> BytesRead() const override;

    const std::string& DevicePath() const { return device_path_; }
    uint32_t BaudRate() const { return baud_rate_; }

  private:
    bool TakeBuffered(std::span<uint8_t>& bytes);
    bool DrainIntoBuffer();
    void DropBuffer();

    DeviceRoot root_;
    SerialDevice device_;
    mutable std::mutex io_lock_;
    std::string device_path_;
    uint32_t baud_rate_ = kDefaultBaudRate;
    int32_t last_error_ = kPortNoError;

    // What the driver had queued beyond the bytes asked for: the link reads one byte at a time,
    // and one system call per byte would cost more than the bytes' transmission. Guarded by
    // io_lock_.
    std::vector<uint8_t> buffer_;
    size_t buffer_head_ = 0;
    uint64_t read_total_ = 0;  // bytes handed out by Read since the open; guarded by io_lock_
};

}  // namespace carvex
