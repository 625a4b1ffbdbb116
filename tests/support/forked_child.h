#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

namespace testsupport {

// A function run in a process of its own (fork), for what must happen in another process than
// the test's: holding a device open, or a call that might hang. The child starts with none of
// the test's descriptors but standard input, output and error, and is killed by an alarm after
// `limit`, so a hang fails the test instead of stalling it. The child tells the test a line with
// Say(); it waits for the test's Release() with WaitForRelease().
class ForkedChild {
  public:
    explicit ForkedChild(const std::function<int(ForkedChild&)>& body,
                         std::chrono::seconds limit = std::chrono::seconds(30)) {
        int to_test[2];
        int to_child[2];
        if (::pipe2(to_test, O_CLOEXEC) != 0 || ::pipe2(to_child, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        pid_ = ::fork();
        if (pid_ < 0) {
            throw std::runtime_error("fork failed");
        }
        if (pid_ == 0) {
            ::close(to_test[0]);
            ::close(to_child[1]);
            say_ = to_test[1];
            hear_ = to_child[0];
            CloseInheritedDescriptors();
            ::alarm(static_cast<unsigned>(limit.count()));
            ::_exit(body(*this));
        }
        ::close(to_test[1]);
        ::close(to_child[0]);
        hear_ = to_test[0];
        say_ = to_child[1];
    }
    ~ForkedChild() { Wait(); }
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    pid_t Pid() const { return pid_; }

    // In the child: a line for the test.
    void Say(const std::string& line) {
        const std::string text = line + "\n";
        [[maybe_unused]] const ssize_t written = ::write(say_, text.data(), text.size());
    }
    // In the child: returns once the test released it, or ended.
    void WaitForRelease() {
        char byte = 0;
        while (::read(hear_, &byte, 1) > 0) {
        }
    }

    // In the test: the child's next line, without its line end ("" when it ended first).
    std::string Hear() {
        std::string line;
        char byte = 0;
        while (::read(hear_, &byte, 1) == 1 && byte != '\n') {
            line += byte;
        }
        return line;
    }
    void Release() {
        if (say_ >= 0) {
            ::close(say_);
            say_ = -1;
        }
    }
    // Releases the child and waits for it: its exit code, or -1 when a signal ended it.
    int Wait() {
        Release();
        if (pid_ > 0) {
            int status = 0;
            ::waitpid(pid_, &status, 0);
            exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid_ = 0;
            ::close(hear_);
            hear_ = -1;
        }
        return exit_code_;
    }

  private:
    void CloseInheritedDescriptors() const {
        const unsigned low = static_cast<unsigned>(std::min(say_, hear_));
        const unsigned high = static_cast<unsigned>(std::max(say_, hear_));
        for (const auto& [first, last] :
             {std::pair{3u, low - 1}, std::pair{low + 1, high - 1}, std::pair{high + 1, ~0u}}) {
            if (first <= last) {
                ::close_range(first, last, 0);
            }
        }
    }

    pid_t pid_ = -1;
    int say_ = -1;
    int hear_ = -1;
    int exit_code_ = -1;
};

}  // namespace testsupport
