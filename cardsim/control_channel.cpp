#include "cardsim/control_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "cardsim/control_command.h"

namespace cardsim {

namespace {

constexpr size_t kLongestLine = 4096;
constexpr size_t kMostClients = 32;
constexpr int kBacklog = 16;

[[noreturn]] void Fail(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

sockaddr_un AddressOf(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.native().size() >= sizeof address.sun_path) {
        throw std::runtime_error(path.string() + " is too long for a socket's name (at most " +
                                 std::to_string(sizeof address.sun_path - 1) + " bytes)");
    }
    std::memcpy(address.sun_path, path.c_str(), path.native().size());
    return address;
}

bool Bind(int fd, const sockaddr_un& address) {
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// A socket at the path that nobody listens on any more: what a cardsim that was killed leaves.
bool Abandoned(const std::filesystem::path& path, const sockaddr_un& address) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) {
        return false;
    }
    const carvex::UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return probe &&
           ::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
               0 &&
           errno == ECONNREFUSED;
}

// Writes the whole answer line. A client is given up when it does not take it at once (it stopped
// reading); standard output is waited for.
bool WriteAnswer(int fd, std::string answer, bool client) {
    answer += '\n';
    std::string_view rest = answer;
    while (!rest.empty()) {
        const ssize_t written =
            client ? ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL | MSG_DONTWAIT)
                   : ::write(fd, rest.data(), rest.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno == EAGAIN && !client) {
            pollfd out{fd, POLLOUT, 0};
            ::poll(&out, 1, -1);
            continue;
        }
        if (written <= 0) {
            return false;
        }
        rest.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

}  // namespace

ControlChannel::ControlChannel(CardBench& bench, Options options)
    : bench_(bench), options_(std::move(options)) {
    if (options_.input >= 0) {
        input_.emplace(options_.input);
    }
    if (!options_.socket) {
        return;
    }
    const std::filesystem::path& path = *options_.socket;
    const sockaddr_un address = AddressOf(path);
    listener_.Reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener_) {
        Fail(errno, "cannot make the control socket");
    }
    if (!Bind(listener_.Get(), address)) {
        if (errno != EADDRINUSE) {
            Fail(errno, "cannot make the control socket " + path.string());
        }
        if (!Abandoned(path, address)) {
            throw std::runtime_error(path.string() +
                                     " is taken: another program listens there, or it is no "
                                     "socket; cardsim leaves it alone");
        }
        ::unlink(path.c_str());
        if (!Bind(listener_.Get(), address)) {
            Fail(errno, "cannot make the control socket " + path.string());
        }
    }
    struct stat st {};
    // The cards are the user's own: nobody else plugs or pulls them.
    if (::chmod(path.c_str(), 0600) != 0 || ::lstat(path.c_str(), &st) != 0 ||
        ::listen(listener_.Get(), kBacklog) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        Fail(error, "cannot listen on the control socket " + path.string());
    }
    socket_inode_ = st.st_ino;
}

ControlChannel::~ControlChannel() {
    struct stat st {};
    if (options_.socket && ::lstat(options_.socket->c_str(), &st) == 0 &&
        st.st_ino == socket_inode_) {
        ::unlink(options_.socket->c_str());
    }
}

void ControlChannel::Serve(int stop) {
    for (;;) {
        std::vector<pollfd> fds = {{stop, POLLIN, 0}};
        const bool listening = listener_ && clients_.size() < kMostClients;
        fds.push_back({listening ? listener_.Get() : -1, POLLIN, 0});
        fds.push_back({input_ ? input_->fd : -1, POLLIN, 0});
        for (const Peer& client : clients_) {
            fds.push_back({client.fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail(errno, "the control channel cannot wait");
        }
        if (fds[0].revents != 0) {
            return;
        }
        if (input_ && fds[2].revents != 0 && !ServePeer(*input_, options_.output, false)) {
            input_.reset();
        }
        // Clients in the order they connected; those that are done go.
        std::vector<Peer> staying;
        for (size_t i = 0; i < clients_.size(); ++i) {
            if (fds[3 + i].revents == 0 || ServePeer(clients_[i], clients_[i].fd, true)) {
                staying.push_back(std::move(clients_[i]));
            }
        }
        clients_ = std::move(staying);
        if (fds[1].revents != 0) {
            Accept();
        }
    }
}

void ControlChannel::Accept() {
    for (;;) {
        carvex::UniqueFd client(
            ::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!client || clients_.size() >= kMostClients) {
            return;
        }
        Peer peer(client.Get());
        peer.owned = std::move(client);
        clients_.push_back(std::move(peer));
    }
}

bool ControlChannel::ServePeer(Peer& peer, int answer_to, bool client) {
    char buffer[1024];
    const ssize_t count = ::read(peer.fd, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
        return true;
    }
    const bool ended = count <= 0;  // an error (a terminal we may not read: EIO) ends it too
    std::string_view bytes(buffer, ended ? 0 : static_cast<size_t>(count));
    // A last line without its line end is a line all the same.
    std::string text = std::string(bytes) + (ended && !peer.pending.empty() ? "\n" : "");
    for (const char c : text) {
        if (c != '\n') {
            if (peer.pending.size() < kLongestLine) {
                peer.pending += c;
            } else {
                peer.overlong = true;
            }
            continue;
        }
        const std::string answer =
            peer.overlong ? (options_.json ? "{\"ok\":false,\"error\":\"the line is too long\"}"
                                           : "error: the line is too long (" +
                                                 std::to_string(kLongestLine) + " bytes at most)")
                          : AnswerControlLine(bench_, peer.pending, options_.json);
        peer.pending.clear();
        peer.overlong = false;
        if (!answer.empty() && !WriteAnswer(answer_to, answer, client)) {
            return false;
        }
    }
    return !ended;
}

}  // namespace cardsim
