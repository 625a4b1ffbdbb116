#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace carvex {

struct ProcessInfo {
    int pid = 0;
    std::string name;  // the command name the system keeps for it

    friend bool operator==(const ProcessInfo&, const ProcessInfo&) = default;
};

// Who else has a serial device: what makes a COM port "in use" for another program.
struct DeviceUsers {
    // Processes that have the device open, in pid order. Never this process, and never the one
    // that holds the master side of the device's own pseudo-terminal: for a simulated card on a
    // pty that process is the card itself, which keeps the terminal side open too.
    std::vector<ProcessInfo> holders;
    // Live processes recorded as holding an exclusive lock on the device (as a program of the
    // card library takes one). The lock stays with whoever inherited the descriptor, so the
    // recorded process may have ended; ended ones are left out.
    std::vector<ProcessInfo> lockers;
    // Processes that could not be looked into (another user's, without the rights to).
    int hidden = 0;
};

DeviceUsers FindDeviceUsers(const std::filesystem::path& device);

// Running processes whose command name is `name`.
std::vector<ProcessInfo> FindProcesses(const std::string& name);

// "ModemManager (pid 612)", "minicom (pid 700) and screen (pid 701)".
std::string DescribeProcesses(const std::vector<ProcessInfo>& processes);

}  // namespace carvex
