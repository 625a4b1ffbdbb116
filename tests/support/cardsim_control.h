#pragma once

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "cardsim/control_channel.h"
#include "carvex/platform/unique_fd.h"

namespace testsupport {

// A client of cardsim's control socket, as a test or a program under test drives a running
// cardsim: a command line sent, its one-line answer read back within a time limit.
class CardsimControl {
  public:
    explicit CardsimControl(const std::filesystem::path& socket)
        : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
        if (!fd_ || ::connect(fd_.Get(), reinterpret_cast<const sockaddr*>(&address),
                              sizeof address) != 0) {
            throw std::runtime_error("cannot connect to " + socket.string());
        }
    }

    // The answer to `command` (without its line end); nullopt when none came within `limit`.
    std::optional<std::string> Send(std::string_view command,
                                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const std::string line = std::string(command) + "\n";
        if (::send(fd_.Get(), line.data(), line.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(line.size())) {
            return std::nullopt;
        }
        return ReadLine(limit);
    }

    // The next line the channel sends; nullopt when none came within `limit`.
    std::optional<std::string> ReadLine(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (const size_t end = pending_.find('\n'); end != std::string::npos) {
                std::string answer = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return answer;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd{fd_.Get(), POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                return std::nullopt;
            }
            char buffer[4096];
            const ssize_t n = ::read(fd_.Get(), buffer, sizeof buffer);
            if (n <= 0) {
                return std::nullopt;
            }
            pending_.append(buffer, static_cast<size_t>(n));
        }
    }

  private:
    carvex::UniqueFd fd_;
    std::string pending_;
};

// The control channel of a bench in the test's own process, served on a thread of its own at a
// socket: for programs under test that drive the cards as they drive a cardsim process.
class ServedControlChannel {
  public:
    ServedControlChannel(cardsim::CardBench& bench, const std::filesystem::path& socket,
                         bool json = false)
        : stop_(::eventfd(0, EFD_CLOEXEC)), channel_(bench, {-1, -1, socket, json}) {
        thread_ = std::thread([this] { channel_.Serve(stop_.Get()); });
    }
    ~ServedControlChannel() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(stop_.Get(), &one, sizeof one);
        thread_.join();
    }
    ServedControlChannel(const ServedControlChannel&) = delete;
    ServedControlChannel& operator=(const ServedControlChannel&) = delete;

  private:
    carvex::UniqueFd stop_;
    cardsim::ControlChannel channel_;
    std::thread thread_;
};

}  // namespace testsupport
