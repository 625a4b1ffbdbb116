#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace carvexctl {

struct ProcessInfo {
    pid_t pid = 0;
    std::string name;  // the command name the kernel keeps (/proc/<pid>/comm)
};

// The processes, other than this one, that have a device open, found through /proc/*/fd.
// Processes of other users cannot be looked into without root: `hidden` counts them.
struct DeviceUsers {
    std::vector<ProcessInfo> holders;
    // Those holding an flock on the device node (/proc/locks): the ones that keep a program of
    // the card library from opening it.
    std::vector<ProcessInfo> lockers;
    int hidden = 0;
};

DeviceUsers FindDeviceUsers(const std::filesystem::path& device);

// Running processes whose command name is `name`.
std::vector<ProcessInfo> FindProcesses(const std::string& name);

// "ModemManager (pid 612)", "minicom (pid 700) and screen (pid 701)".
std::string DescribeProcesses(const std::vector<ProcessInfo>& processes);

}  // namespace carvexctl
