#pragma once

#include <stdexcept>

namespace carvexctl {

// How carvexctl ends: every command comes to one of these, through the dispatcher alone.
enum class ExitStatus : int {
    kOk = 0,
    kCardWorkFailed = 1,  // the card (or a card of a batch) did not end ok
    kRefused = 2,         // bad arguments, or a file or request refused before any card was touched
    kInterrupted = 130,   // a second Ctrl-C broke the work off
};

// What went wrong, in the words a technician needs; the program prints it and exits with 1.
class Failure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A command line or a file refused before any card was touched; the program prints why and
// exits with 2.
class Refusal : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace carvexctl
