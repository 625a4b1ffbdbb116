#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

#include <cerrno>

#include "carvex/platform/device_users.h"
#include "carvex/platform/serial_device.h"
#include "carvex/platform/serial_node_posix.h"

namespace carvex {

namespace {

enum class OpenStep { kOpen, kLock, kReadSettings, kApplySettings };

// The only place that turns a failing step of an open into a port error code; the system's
// error number is kept beside it (SerialDevice::LastSystemError).
int32_t PortErrorFor(OpenStep step) {
    switch (step) {
        case OpenStep::kOpen:
        case OpenStep::kLock:
            return kPortCannotOpen;
        case OpenStep::kReadSettings:
            return kPortSettingsUnreadable;
        case OpenStep::kApplySettings:
            return kPortSettingsRejected;
    }
    return kPortCannotOpen;
}

std::optional<speed_t> SpeedFor(uint32_t baud_rate) {
    switch (baud_rate) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return std::nullopt;
    }
}

void ConsumeCancel(int cancel_fd) {
    uint64_t count = 0;
    while (::read(cancel_fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

int PollRetrying(pollfd* fds, nfds_t count, int timeout_ms) {
    int ready;
    do {
        ready = ::poll(fds, count, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    return ready;
}

int Milliseconds(std::chrono::nanoseconds duration) {
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(duration).count());
}

}  // namespace

SerialDevice::SerialDevice() = default;
SerialDevice::~SerialDevice() = default;

bool SerialDevice::IsOpen() const {
    return fd_.Valid();
}

int32_t SerialDevice::Fail(int32_t code, int system_error) {
    last_system_error_ = system_error;
    return code;
}

int32_t SerialDevice::Open(const std::filesystem::path& device, uint32_t baud_rate) {
    last_system_error_ = 0;
    // Looked at before it is opened: opening some devices changes things, and a link planted in
    // the device root may point anywhere.
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0) {
        return Fail(PortErrorFor(OpenStep::kOpen), errno);
    }
    if (!IsSerialDeviceNode(node)) {
        return Fail(PortErrorFor(OpenStep::kOpen), ENOTTY);
    }
    // Without a cancel descriptor a waiting reader could never be woken: no port then.
    UniqueFd cancel(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!cancel) {
        return Fail(PortErrorFor(OpenStep::kOpen), errno);
    }
    // Non-blocking, and it stays so: a real tty must not wait for carrier in open(), and a read
    // must never block outside poll.
    UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        return Fail(PortErrorFor(OpenStep::kOpen), errno);
    }
    // The name may have been pointed elsewhere between the look and the open.
    struct stat opened {};
    if (::fstat(fd.Get(), &opened) != 0 || !S_ISCHR(opened.st_mode) ||
        opened.st_rdev != node.st_rdev || !::isatty(fd.Get())) {
        return Fail(PortErrorFor(OpenStep::kOpen), ENOTTY);
    }
    // A COM port has one owner at a time: a tty another program has open (a terminal program,
    // a modem manager) is in use, as Windows refuses a COM port that another program opened.
    if (!FindDeviceUsers(device).holders.empty()) {
        return Fail(PortErrorFor(OpenStep::kLock), EBUSY);
    }
    // Programs of this library lock what they open; TIOCEXCL would not stop a second opener
    // running as root.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        return Fail(PortErrorFor(OpenStep::kLock), errno);
    }

    termios settings{};
    if (::tcgetattr(fd.Get(), &settings) != 0) {
        return Fail(PortErrorFor(OpenStep::kReadSettings), errno);
    }
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    const auto speed = SpeedFor(baud_rate);
    if (!speed || ::cfsetispeed(&settings, *speed) != 0 || ::cfsetospeed(&settings, *speed) != 0) {
        return Fail(PortErrorFor(OpenStep::kApplySettings), EINVAL);
    }
    if (::tcsetattr(fd.Get(), TCSANOW, &settings) != 0) {
        return Fail(PortErrorFor(OpenStep::kApplySettings), errno);
    }
    // What the device received before this open (a card's answer to a command sent before the
    // port was last closed) belongs to no request of ours.
    ::tcflush(fd.Get(), TCIFLUSH);
    fd_ = std::move(fd);
    cancel_fd_ = std::move(cancel);
    return kPortNoError;
}

void SerialDevice::Close() {
    fd_.Reset();
    cancel_fd_.Reset();
}

bool SerialDevice::WriteAll(std::span<const uint8_t> bytes, std::chrono::nanoseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_.Get(), bytes.data(), bytes.size());
        if (written > 0) {
            bytes = bytes.subspan(static_cast<size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno != EAGAIN) {
            return false;
        }
        const auto left = deadline - std::chrono::steady_clock::now();
        pollfd fd{fd_.Get(), POLLOUT, 0};
        if (left <= left.zero() || PollRetrying(&fd, 1, Milliseconds(left)) <= 0 ||
            !(fd.revents & POLLOUT)) {
            return false;
        }
    }
    return true;
}

std::optional<size_t> SerialDevice::Drain(std::span<uint8_t> bytes) {
    for (;;) {
        const ssize_t count = ::read(fd_.Get(), bytes.data(), bytes.size());
        if (count > 0) {
            return static_cast<size_t>(count);
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno == EAGAIN) {
            return 0;
        }
        // 0 bytes or EIO: the other end hung up.
        return std::nullopt;
    }
}

std::optional<size_t> SerialDevice::Queued() const {
    int queued = 0;
    if (::ioctl(fd_.Get(), FIONREAD, &queued) != 0 || queued < 0) {
        return std::nullopt;
    }
    return static_cast<size_t>(queued);
}

SerialDevice::Wait SerialDevice::WaitReadable() {
    for (;;) {
        pollfd fds[2] = {{fd_.Get(), POLLIN, 0}, {cancel_fd_.Get(), POLLIN, 0}};
        if (PollRetrying(fds, 2, -1) < 0) {
            return Wait::kHungUp;
        }
        if (fds[1].revents & POLLIN) {
            ConsumeCancel(cancel_fd_.Get());
            return Wait::kCancelled;
        }
        if (fds[0].revents & POLLIN) {
            return Wait::kReadable;
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            return Wait::kHungUp;
        }
    }
}

bool SerialDevice::WaitForCancel(std::chrono::nanoseconds timeout) {
    pollfd fd{cancel_fd_.Get(), POLLIN, 0};
    return PollRetrying(&fd, 1, Milliseconds(timeout)) > 0 && (fd.revents & POLLIN);
}

void SerialDevice::Cancel() {
    const uint64_t one = 1;
    while (::write(cancel_fd_.Get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    ::tcflush(fd_.Get(), TCIOFLUSH);
}

}  // namespace carvex
