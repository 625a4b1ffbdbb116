#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "carvex/platform/unique_fd.h"

namespace carvex {

// How a command run through the shell for a program (a station's hook) ended.
struct HookEnd {
    enum class How {
        kExited,      // it ended by itself: `exit_code`
        kSignalled,   // a signal ended it: `signal`
        kTimedOut,    // it ran past its limit and was killed, with whatever it had started
        kBrokenOff,   // its HookBreaker broke it off: killed, with whatever it had started
        kNotStarted,  // the shell could not be started: `error`
    };
    How how = How::kNotStarted;
    int exit_code = -1;
    int signal = 0;
    std::string error;  // kNotStarted: why
    // What it wrote to its standard error (at most kMaxHookErrorBytes of it).
    std::string standard_error;

    bool Succeeded() const { return how == How::kExited && exit_code == 0; }
    // The first line of its standard error, without the line end.
    std::string FirstErrorLine() const;
    // "exit 3", "killed by signal 9", "killed after 30 s", "killed: broken off",
    // "not started: ...".
    std::string Words(std::chrono::milliseconds limit) const;
};

inline constexpr size_t kMaxHookErrorBytes = size_t{64} * 1024;

// Ends the hooks run with it: those running when BreakOff is called, and any begun after it,
// are killed at once as at their time-out. For a program told to stop now, not in its own time.
// Any thread may call BreakOff, also while RunHook waits.
class HookBreaker {
  public:
    // Throws std::system_error when the system gives no eventfd.
    HookBreaker();

    void BreakOff();
    int Fd() const { return fd_.Get(); }

  private:
    UniqueFd fd_;
};

// From now on a write to a pipe whose reader is gone fails (EPIPE) instead of ending the program:
// a hook that does not read its input, a consumer of the program's output that quits.
void IgnoreBrokenPipes();

// Runs `command` as `sh -c command` with the program's environment plus `environment`
// ("NAME=value", replacing the inherited variable of that name), `input` on its standard input,
// its standard output thrown away and no other descriptor of the program's open, and waits for
// it, at most `limit`: then it is killed with every process it started (it runs in a process
// group of its own). What the caller's texts are
// reach it only through the environment, never the command line. Safe to call from several
// threads at once. The program ignores SIGPIPE from the first call on, so that a command that
// does not read its input does not end it. Linux only.
HookEnd RunHook(const std::string& command, const std::vector<std::string>& environment,
                std::string_view input, std::chrono::milliseconds limit,
                const HookBreaker* breaker = nullptr);

}  // namespace carvex
