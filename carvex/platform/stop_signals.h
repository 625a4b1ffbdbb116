#pragma once

#include <functional>
#include <memory>
#include <string>

namespace carvex {

// Ctrl-C and a request to terminate (SIGINT and SIGTERM; on Windows the console's Ctrl-C,
// Ctrl-Break and close), taken from the default action for as long as the object lives: each is
// handed to `told` on a thread of the object's own, with its name ("SIGINT", "SIGTERM") and how
// many such requests have come so far (1 for the first). On POSIX it must be made before the
// threads of the work it stops, which take the signals' mask from their maker.
class StopSignals {
  public:
    using Told = std::function<void(const std::string& name, int count)>;

    explicit StopSignals(Told told);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    class Watch;

  private:
    std::unique_ptr<Watch> watch_;
};

// For a thread that may have been made before a StopSignals, whose mask therefore lets Ctrl-C and
// SIGTERM in: from now on they never come to this thread (where their default action would end
// the program) but to the StopSignals. Nothing to do on Windows.
void KeepStopSignalsOffThisThread();

}  // namespace carvex
