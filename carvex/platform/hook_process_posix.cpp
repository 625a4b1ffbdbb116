#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string_view>
#include <system_error>

#include "carvex/platform/hook_process.h"
#include "carvex/platform/unique_fd.h"

extern char** environ;

namespace carvex {

namespace {

// Secrets the station holds for itself (the central database's password, the line page's
// token), which a hook, someone else's script, has no business reading.
constexpr std::array<std::string_view, 2> kWithheld = {"PGPASSWORD=", "CARVEX_HTTP_TOKEN="};

// The inherited environment, less the withheld secrets, with `extra` in place of the variables
// of the same names.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> texts;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::string_view name = text.substr(0, text.find('=') + 1);
        bool replaced = std::find(kWithheld.begin(), kWithheld.end(), name) != kWithheld.end();
        for (const std::string& given : extra) {
            replaced = replaced || given.starts_with(name);
        }
        if (!replaced) {
            texts.emplace_back(text);
        }
    }
    texts.insert(texts.end(), extra.begin(), extra.end());
    return texts;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

bool MakePipe(Pipe& pipe) {
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
        return false;
    }
    pipe.read.Reset(ends[0]);
    pipe.write.Reset(ends[1]);
    return true;
}

HookEnd NotStarted(const std::string& why) {
    HookEnd end;
    end.error = why;
    return end;
}

// Waits for the child (which has ended, or been killed) and puts how it ended into `end`.
void Reap(pid_t pid, HookEnd& end) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (end.how == HookEnd::How::kTimedOut || end.how == HookEnd::How::kBrokenOff) {
        return;
    }
    if (WIFEXITED(status)) {
        end.how = HookEnd::How::kExited;
        end.exit_code = WEXITSTATUS(status);
    } else {
        end.how = HookEnd::How::kSignalled;
        end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
}

}  // namespace

std::string HookEnd::FirstErrorLine() const {
    const std::string line = standard_error.substr(0, standard_error.find('\n'));
    return line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
}

std::string HookEnd::Words(std::chrono::milliseconds limit) const {
    switch (how) {
        case How::kExited:
            return "exit " + std::to_string(exit_code);
        case How::kSignalled:
            return "killed by signal " + std::to_string(signal);
        case How::kBrokenOff:
            return "killed: broken off";
        case How::kTimedOut:
            return "killed after " +
                   std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) +
                   " s";
        case How::kNotStarted:
            break;
    }
    return "not started: " + error;
}

void IgnoreBrokenPipes() {
    static std::once_flag ignore_sigpipe;
    std::call_once(ignore_sigpipe, [] { ::signal(SIGPIPE, SIG_IGN); });
}

HookBreaker::HookBreaker() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!fd_) {
        throw std::system_error(errno, std::generic_category(), "cannot make an eventfd");
    }
}

void HookBreaker::BreakOff() {
    // Never read: once broken off, the descriptor stays readable for every hook after.
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd_.Get(), &one, sizeof one);
}

HookEnd RunHook(const std::string& command, const std::vector<std::string>& environment,
                std::string_view input, std::chrono::milliseconds limit,
                const HookBreaker* breaker) {
    IgnoreBrokenPipes();

    Pipe in;
    Pipe err;
    if (!MakePipe(in) || !MakePipe(err)) {
        return NotStarted(std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.read.Get(), 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err.write.Get(), 2);
    // Nothing else of this program's reaches the hook: not the card logs, the ports or the
    // records database, which a hook that outlives its card would hold open.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group, so that a kill reaches what the shell started; the default
    // signal actions, whatever this program changed.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<std::string> args = {"sh", "-c", command};
    std::vector<std::string> env = EnvironmentWith(environment);
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    pid_t pid = 0;
    const int spawned =
        ::posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    in.read.Reset();
    err.write.Reset();
    if (spawned != 0) {
        return NotStarted(std::strerror(spawned));
    }
    const UniqueFd exited(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));

    HookEnd end;
    ::fcntl(in.write.Get(), F_SETFL, O_NONBLOCK);
    if (input.empty()) {
        in.write.Reset();
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool running = true;
    while (running) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(-pid, SIGKILL);
            end.how = HookEnd::How::kTimedOut;
            break;
        }
        std::array<pollfd, 4> fds{{{err.read.Get(), POLLIN, 0},
                                   {in.write.Get(), POLLOUT, 0},
                                   {exited.Get(), POLLIN, 0},
                                   {breaker != nullptr ? breaker->Fd() : -1, POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) {
            break;
        }
        if ((fds[3].revents & POLLIN) != 0) {
            ::kill(-pid, SIGKILL);
            end.how = HookEnd::How::kBrokenOff;
            break;
        }
        if ((fds[0].revents & (POLLIN | POLLHUP)) != 0) {
            std::array<char, 4096> buffer{};
            const ssize_t n = ::read(err.read.Get(), buffer.data(), buffer.size());
            if (n > 0) {
                const size_t room = kMaxHookErrorBytes - end.standard_error.size();
                end.standard_error.append(buffer.data(), std::min(room, static_cast<size_t>(n)));
            } else if (n == 0) {
                err.read.Reset();  // its end and every child's: only the exit is awaited now
            }
        }
        if ((fds[1].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t n = ::write(in.write.Get(), input.data(), input.size());
            if (n > 0) {
                input.remove_prefix(static_cast<size_t>(n));
            }
            if (n < 0 || input.empty()) {
                in.write.Reset();  // all given, or it stopped reading
            }
        }
        // Without a pidfd (an old kernel) the end of its standard error stands for its exit.
        running = exited ? (fds[2].revents & POLLIN) == 0 : err.read.Valid();
    }
    Reap(pid, end);
    return end;
}

}  // namespace carvex
