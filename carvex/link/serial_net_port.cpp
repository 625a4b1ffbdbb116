#include "carvex/link/serial_net_port.h"

#include <algorithm>
#include <cstring>

#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"

namespace carvex {

namespace {
constexpr size_t kBufferCapacity = 4096;
}

SerialNetPort::SerialNetPort(DeviceRoot root) : root_(std::move(root)) {
    buffer_.reserve(kBufferCapacity);
}

SerialNetPort::~SerialNetPort() {
    Close();
}

void SerialNetPort::Configure(int port_number, uint32_t baud_rate) {
    device_path_ = ComDevicePath(port_number);
    baud_rate_ = baud_rate;
}

bool SerialNetPort::Open() {
    if (device_.IsOpen()) {
        last_error_ = kPortAlreadyOpen;
        return false;
    }
    const auto device = root_.ResolveDevicePath(device_path_);
    const int32_t result = device ? device_.Open(*device, baud_rate_) : kPortCannotOpen;
    last_error_ = result;
    return result == kPortNoError;
}

bool SerialNetPort::Write(std::span<const uint8_t> bytes) {
    std::lock_guard lock(io_lock_);
    return device_.IsOpen() && device_.WriteAll(bytes, GetClock().Timeout(timing::kWriteLimit));
}

bool SerialNetPort::TakeBuffered(std::span<uint8_t>& bytes) {
    const size_t available = buffer_.size() - buffer_head_;
    const size_t count = std::min(available, bytes.size());
    if (count > 0) {
        std::memcpy(bytes.data(), buffer_.data() + buffer_head_, count);
        buffer_head_ += count;
        read_total_ += count;
        bytes = bytes.subspan(count);
    }
    if (buffer_head_ == buffer_.size()) {
        DropBuffer();
    }
    return bytes.empty();
}

// Moves what the driver has queued into the buffer, without blocking; false when the device
// failed or hung up.
bool SerialNetPort::DrainIntoBuffer() {
    const size_t old_size = buffer_.size();
    buffer_.resize(std::max(old_size, kBufferCapacity));
    const auto got = device_.Drain(std::span(buffer_).subspan(old_size));
    buffer_.resize(old_size + got.value_or(0));
    return got.has_value();
}

void SerialNetPort::DropBuffer() {
    buffer_.clear();
    buffer_head_ = 0;
}

bool SerialNetPort::Read(std::span<uint8_t> bytes, uint32_t* received) {
    const uint32_t total = static_cast<uint32_t>(bytes.size());
    for (;;) {
        {
            std::lock_guard lock(io_lock_);
            if (!device_.IsOpen()) {
                return false;
            }
            if (TakeBuffered(bytes)) {
                if (received != nullptr) {
                    *received = total;
                }
                return true;
            }
            if (!DrainIntoBuffer()) {
                return false;
            }
            if (buffer_.size() > buffer_head_) {
                continue;
            }
        }
        // Wait outside the lock, so the caller's thread can write meanwhile.
        switch (device_.WaitReadable()) {
            case SerialDevice::Wait::kReadable:
                break;
            case SerialDevice::Wait::kCancelled: {
                // What was buffered before the cancel belongs to a link that is stopping.
                std::lock_guard lock(io_lock_);
                DropBuffer();
                if (received != nullptr) {
                    *received = 0;
                }
                return true;
            }
            case SerialDevice::Wait::kHungUp:
                return false;
        }
    }
}

void SerialNetPort::Close() {
    std::lock_guard lock(io_lock_);
    read_total_ = 0;
    if (device_.IsOpen()) {
        device_.Close();
        baud_rate_ = kDefaultBaudRate;
        last_error_ = kPortNoError;
    }
    DropBuffer();
}

// Takes no lock: it must reach a reader whatever that reader holds. The reader drops its
// buffered bytes when it wakes to the cancel, or Close drops them once the reader has ended.
void SerialNetPort::Cancel() {
    if (device_.IsOpen()) {
        device_.Cancel();
    }
}

bool SerialNetPort::WaitForCancel(std::chrono::nanoseconds timeout) {
    return device_.WaitForCancel(timeout);
}

std::optional<uint64_t> SerialNetPort::BytesReceived() {
    std::lock_guard lock(io_lock_);
    const auto queued = device_.IsOpen() ? device_.Queued() : std::nullopt;
    if (!queued) {
        return std::nullopt;
    }
    return read_total_ + (buffer_.size() - buffer_head_) + *queued;
}

std::optional<uint64_t> SerialNetPort::BytesRead() const {
    std::lock_guard lock(io_lock_);
    return read_total_;
}

}  // namespace carvex
