#include "cardsim/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace cardsim {

namespace {

void MakeRaw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(fd, TCSANOW, &settings);
    }
}

}  // namespace

PtyPair::PtyPair(int give_up)
    : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)), give_up_(give_up) {
    if (!master_ || ::grantpt(master_.Get()) != 0 || ::unlockpt(master_.Get()) != 0) {
        throw std::runtime_error("cannot create a pseudo-terminal");
    }
    char name[128] = {};
    if (::ptsname_r(master_.Get(), name, sizeof name) != 0) {
        throw std::runtime_error("cannot name the pseudo-terminal");
    }
    slave_path_ = name;
    slave_keeper_.Reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave_keeper_) {
        throw std::runtime_error("cannot open the pseudo-terminal's slave");
    }
    MakeRaw(slave_keeper_.Get());
    MakeRaw(master_.Get());
    // The card never blocks on a PC that stopped reading: a full queue makes Write wait a
    // little, then give up, as a real card's USB endpoint would.
    ::fcntl(master_.Get(), F_SETFL, ::fcntl(master_.Get(), F_GETFL) | O_NONBLOCK);
}

bool PtyPair::Write(std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(master_.Get(), bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN) {
                return false;
            }
            pollfd fds[2] = {{master_.Get(), POLLOUT, 0}, {give_up_, POLLIN, 0}};
            if (::poll(fds, 2, 1000) > 0 && (fds[0].revents & POLLOUT) &&
                !(fds[1].revents & POLLIN)) {
                continue;
            }
            return false;
        }
        bytes = bytes.subspan(static_cast<size_t>(written));
    }
    return true;
}

size_t PtyPair::WriteSome(std::span<const uint8_t> bytes) {
    ssize_t written;
    do {
        written = ::write(master_.Get(), bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    return written > 0 ? static_cast<size_t>(written) : 0;
}

std::vector<uint8_t> PtyPair::Read(std::chrono::milliseconds timeout) {
    std::vector<uint8_t> bytes;
    pollfd fd{master_.Get(), POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0 || !(fd.revents & POLLIN)) {
        return bytes;
    }
    uint8_t buffer[4096];
    ssize_t count;
    do {
        count = ::read(master_.Get(), buffer, sizeof buffer);
    } while (count < 0 && errno == EINTR);
    if (count > 0) {
        bytes.assign(buffer, buffer + count);
    }
    return bytes;
}

std::vector<uint8_t> PtyPair::ReadExactly(size_t count, std::chrono::milliseconds timeout) {
    std::vector<uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd fd{master_.Get(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0 || !(fd.revents & POLLIN)) {
            continue;
        }
        uint8_t buffer[4096];
        const size_t want = std::min(sizeof buffer, count - bytes.size());
        const ssize_t got = ::read(master_.Get(), buffer, want);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

size_t PtyPair::Unread() const {
    int queued = 0;
    return ::ioctl(slave_keeper_.Get(), FIONREAD, &queued) == 0 && queued > 0
               ? static_cast<size_t>(queued)
               : 0;
}

void PtyPair::HangUp() {
    slave_keeper_.Reset();
    master_.Reset();
}

}  // namespace cardsim
