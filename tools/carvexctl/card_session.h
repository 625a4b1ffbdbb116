#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace carvexctl {

// What went wrong, in the words a technician needs; the program prints it and exits non-zero.
class Failure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The card opened for one command, as the configurator opens it, and closed when done.
class CardSession {
  public:
    CardSession();  // throws Failure when no card can be opened
    ~CardSession();
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;
};

// A request status in words, for the item it concerns (or none).
std::string DescribeStatus(int32_t status, int item = -1);

// Progress on standard error, so standard output stays clean for scripts.
void Progress(const std::string& text);

}  // namespace carvexctl
