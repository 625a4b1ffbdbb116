#pragma once

#include <cstdint>
#include <string>

namespace carvex {

// A process told apart from every other one that had or will have its id: the boot it runs in,
// its id and the time it started (in clock ticks since that boot), so that a pid the system gave
// again to another program is not taken for the process that had it.
struct ProcessIdentity {
    std::string boot;  // the kernel's id of the running boot
    int pid = 0;
    uint64_t start = 0;

    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

// This process, as it can be told apart later. Throws std::runtime_error when the system does
// not say (no /proc).
ProcessIdentity CurrentProcessIdentity();

// True only when the process is certainly gone: another boot, no process of its id, one that
// started at another time, or one that has ended and waits to be reaped. A process that cannot be
// looked into counts as running: what it owns must not be taken from it.
bool ProcessGone(const ProcessIdentity& process);

}  // namespace carvex
