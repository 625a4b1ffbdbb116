#pragma once

#include <stdexcept>

namespace carvexctl {

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
