#include "carvex/link/serial_net_port.h"

#include <algorithm>
#include <cstring>

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

bool SerialNetPort::Configure(int port_number, uint32_t baud_rate) {
    device_path_ = ComDevicePath(port_number);
    baud_rate_ = baud_rate;
    return true;
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
    return device_.IsOpen() && device_.WriteAll(bytes);
}

bool SerialNetPort::TakeBuffered(std::span<uint8_t>& bytes) {
    const size_t available = buffer_.size() - buffer_head_;
    const size_t count = std::min(available, bytes.size());
    if (count > 0) {
        std::memcpy(bytes.data(), buffer_.data() + buffer_head_, count);
        buffer_head_ += count;
        bytes = bytes.subspan(count);
    }
    if (buffer_head_ == buffer_.size()) {
        buffer_.clear();
        buffer_head_ = 0;
    }
    return bytes.empty();
}

// Moves at least `at_least` bytes (all that is queued, as far as the buffer holds) from the
// driver into the buffer; false when the device failed.
bool SerialNetPort::FillBuffer(size_t at_least) {
    const size_t queued = device_.QueuedBytes().value_or(at_least);
    const size_t wanted = std::clamp(queued, at_least, std::max(at_least, kBufferCapacity));
    const size_t old_size = buffer_.size();
    buffer_.resize(old_size + wanted);
    size_t filled = 0;
    while (filled < at_least) {
        auto got = device_.ReadSome(std::span(buffer_).subspan(old_size + filled, wanted - filled));
        if (!got) {
            buffer_.resize(old_size + filled);
            return false;
        }
        filled += *got;
    }
    buffer_.resize(old_size + filled);
    return true;
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
            // A failing query counts as enough bytes waiting: the read below then blocks.
            const size_t queued = device_.QueuedBytes().value_or(bytes.size());
            if (queued >= bytes.size()) {
                if (!FillBuffer(bytes.size())) {
                    return false;
                }
                continue;
            }
            if (queued > 0 && !FillBuffer(queued)) {
                return false;
            }
        }
        // Wait outside the lock, so the caller's thread can write meanwhile.
        switch (device_.WaitReadable()) {
            case SerialDevice::Wait::kReadable:
                break;
            case SerialDevice::Wait::kCancelled:
                if (received != nullptr) {
                    *received = 0;
                }
                return true;
            case SerialDevice::Wait::kHungUp:
                return false;
        }
    }
}

bool SerialNetPort::Close() {
    std::lock_guard lock(io_lock_);
    if (device_.IsOpen()) {
        device_.Close();
        baud_rate_ = kDefaultBaudRate;
        last_error_ = kPortNoError;
    }
    buffer_.clear();
    buffer_head_ = 0;
    return true;
}

bool SerialNetPort::Cancel() {
    if (device_.IsOpen()) {
        device_.Cancel();
        std::lock_guard lock(io_lock_);
        buffer_.clear();
        buffer_head_ = 0;
    }
    return true;
}

bool SerialNetPort::WaitForCancel(std::chrono::nanoseconds timeout) {
    return device_.WaitForCancel(timeout);
}

}  // namespace carvex
