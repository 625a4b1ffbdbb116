#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace testsupport {

struct ProgramResult {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// The texts of an argument or environment list, and the char* array a spawn takes.
struct TextList {
    explicit TextList(std::vector<std::string> texts) : texts_(std::move(texts)) {
        for (auto& text : texts_) {
            pointers_.push_back(text.data());
        }
        pointers_.push_back(nullptr);
    }
    // The pointers point into the texts: never copied or moved.
    TextList(const TextList&) = delete;
    TextList& operator=(const TextList&) = delete;

    char** Get() { return pointers_.data(); }

  private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

inline TextList Arguments(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> texts{program};
    texts.insert(texts.end(), args.begin(), args.end());
    return TextList(std::move(texts));
}

// The test's environment plus `extra_env`, which replaces inherited variables of the same name
// (getenv takes the first).
inline TextList Environment(const std::vector<std::string>& extra_env) {
    std::vector<std::string> texts;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& extra : extra_env) {
            replaced = replaced || extra.starts_with(name);
        }
        if (!replaced) {
            texts.push_back(entry);
        }
    }
    texts.insert(texts.end(), extra_env.begin(), extra_env.end());
    return TextList(std::move(texts));
}

// Runs a program with the test's environment plus `extra_env`, collecting both outputs.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::vector<std::string>& extra_env = {}) {
    int out_pipe[2];
    int err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    TextList argv = Arguments(program, args);
    TextList envp = Environment(extra_env);

    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.Get(), envp.Get());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    ProgramResult result;
    if (spawned != 0) {
        ::close(out_pipe[0]);
        ::close(err_pipe[0]);
        throw std::runtime_error("cannot start " + program);
    }
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_count = 2;
    while (open_count > 0) {
        if (::poll(fds, 2, -1) < 0) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP))) {
                char buffer[4096];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, static_cast<size_t>(n));
                } else {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open_count;
                }
            }
        }
    }
    int wait_status = 0;
    ::waitpid(pid, &wait_status, 0);
    result.exit_code = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    return result;
}

// A program left running while the test goes on: its standard input and output are pipes to
// the test, its standard error is discarded. Waited for when it goes.
class RunningProgram {
  public:
    RunningProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& extra_env = {}) {
        int in_pipe[2];
        int out_pipe[2];
        if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        TextList argv = Arguments(program, args);
        TextList envp = Environment(extra_env);
        const int spawned =
            posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.Get(), envp.Get());
        posix_spawn_file_actions_destroy(&actions);
        ::close(in_pipe[0]);
        ::close(out_pipe[1]);
        in_ = in_pipe[1];
        out_ = out_pipe[0];
        if (spawned != 0) {
            pid_ = -1;
            throw std::runtime_error("cannot start " + program);
        }
    }
    ~RunningProgram() { Wait(); }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    pid_t Pid() const { return pid_; }

    // Reads `count` bytes of its output (fewer when it ends first).
    std::string Read(size_t count) {
        std::string text(count, '\0');
        size_t got = 0;
        while (got < count) {
            const ssize_t n = ::read(out_, text.data() + got, count - got);
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        text.resize(got);
        return text;
    }

    // Sends text to its standard input.
    bool Write(std::string_view text) {
        while (!text.empty()) {
            const ssize_t n = ::write(in_, text.data(), text.size());
            if (n <= 0) {
                return false;
            }
            text.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    // Closes its standard input: the program reads to its end.
    void CloseInput() {
        if (in_ >= 0) {
            ::close(in_);
            in_ = -1;
        }
    }

    // Its next line of output, without the line end; nullopt when it ends first or nothing
    // completes a line within `limit`.
    std::optional<std::string> ReadLine(
        std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::string line;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd{out_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                return std::nullopt;
            }
            char byte = 0;
            if (::read(out_, &byte, 1) != 1) {
                return std::nullopt;
            }
            if (byte == '\n') {
                return line;
            }
            line += byte;
        }
    }

    // Closes its standard input and waits for it to end; its exit code, or -1.
    int Wait() {
        if (in_ >= 0) {
            ::close(in_);
            in_ = -1;
        }
        if (pid_ > 0) {
            int status = 0;
            ::waitpid(pid_, &status, 0);
            exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid_ = 0;
        }
        if (out_ >= 0) {
            ::close(out_);
            out_ = -1;
        }
        return exit_code_;
    }

  private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    int exit_code_ = -1;
};

}  // namespace testsupport
