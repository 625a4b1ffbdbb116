#include "tools/carvexctl/device_users.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

namespace carvexctl {

namespace fs = std::filesystem;

namespace {

// The numeric entries of /proc, in order.
std::vector<pid_t> ProcessIds() {
    std::vector<pid_t> pids;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        pid_t pid = 0;
        const auto [last, parse_error] =
            std::from_chars(name.data(), name.data() + name.size(), pid);
        if (parse_error == std::errc{} && last == name.data() + name.size()) {
            pids.push_back(pid);
        }
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

std::string CommandName(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(file, name);
    return name.empty() ? "process" : name;
}

bool SameDevice(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) || S_ISBLK(a.st_mode)) {
        return (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT) && a.st_rdev == b.st_rdev;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// /proc/locks: "1: FLOCK  ADVISORY  WRITE 612 00:05:3 0 EOF"; the device and inode are those of
// the node that was locked, major and minor in hex.
std::vector<pid_t> FlockHolders(const struct stat& node) {
    std::vector<pid_t> pids;
    std::ifstream file("/proc/locks");
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string id, type, mode, access, where;
        pid_t pid = 0;
        if (!(fields >> id >> type >> mode >> access >> pid >> where) || type != "FLOCK") {
            continue;  // waiters ("->") and POSIX locks are not what the library takes
        }
        unsigned major_number = 0;
        unsigned minor_number = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &major_number, &minor_number, &inode) == 3 &&
            makedev(major_number, minor_number) == node.st_dev && inode == node.st_ino &&
            pid != ::getpid()) {
            pids.push_back(pid);
        }
    }
    return pids;
}

}  // namespace

DeviceUsers FindDeviceUsers(const fs::path& device) {
    DeviceUsers users;
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0) {
        return users;
    }
    for (pid_t pid : FlockHolders(node)) {
        users.lockers.push_back({pid, CommandName(pid)});
    }
    const pid_t self = ::getpid();
    for (pid_t pid : ProcessIds()) {
        if (pid == self) {
            continue;
        }
        const fs::path fd_dir = "/proc/" + std::to_string(pid) + "/fd";
        std::error_code error;
        fs::directory_iterator it(fd_dir, error);
        if (error) {
            // Gone since the listing, or another user's: only the latter is hidden from us.
            users.hidden += error == std::errc::permission_denied ? 1 : 0;
            continue;
        }
        for (fs::directory_iterator end; it != end; it.increment(error)) {
            if (error) {
                break;
            }
            struct stat opened {};
            if (::stat(it->path().c_str(), &opened) == 0 && SameDevice(node, opened)) {
                users.holders.push_back({pid, CommandName(pid)});
                break;
            }
        }
    }
    return users;
}

std::vector<ProcessInfo> FindProcesses(const std::string& name) {
    std::vector<ProcessInfo> found;
    for (pid_t pid : ProcessIds()) {
        if (CommandName(pid) == name) {
            found.push_back({pid, name});
        }
    }
    return found;
}

std::string DescribeProcesses(const std::vector<ProcessInfo>& processes) {
    std::string text;
    for (size_t i = 0; i < processes.size(); ++i) {
        if (i > 0) {
            text += i + 1 == processes.size() ? " and " : ", ";
        }
        text += processes[i].name + " (pid " + std::to_string(processes[i].pid) + ")";
    }
    return text;
}

}  // namespace carvexctl
