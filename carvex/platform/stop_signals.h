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

// While it lives, the threads this thread makes take no Ctrl-C or SIGTERM, as those made after a
// StopSignals do: for a thread that may be made before one, where their default action would
// end the program. This thread's own mask is as before once it goes. Nothing to do on Windows.
class StopSignalsOffNewThreads {
  public:
    StopSignalsOffNewThreads();
    ~StopSignalsOffNewThreads();
    StopSignalsOffNewThreads(const StopSignalsOffNewThreads&) = delete;
    StopSignalsOffNewThreads& operator=(const StopSignalsOffNewThreads&) = delete;

  private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

}  // namespace carvex
