#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>

#include "carvex/platform/device_users.h"

namespace carvex {

namespace fs = std::filesystem;

namespace {

// Pseudo-terminals: the master multiplexer /dev/ptmx (5:2), and the terminal sides, whose minor
// number is the pty's index.
constexpr unsigned kPtmxMajor = 5;
constexpr unsigned kPtmxMinor = 2;
constexpr unsigned kPtySlaveMajor = 136;
constexpr unsigned kPtySlaveMajorCount = 8;

std::optional<int> Number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

fs::path ProcessDirectory(int pid) {
    return fs::path("/proc") / std::to_string(pid);
}

// The numeric entries of /proc, in order.
std::vector<int> ProcessIds() {
    std::vector<int> pids;
    std::error_code error;
    for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
        if (const auto pid = Number(it->path().filename().string())) {
            pids.push_back(*pid);
        }
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

std::string CommandName(int pid) {
    std::ifstream file(ProcessDirectory(pid) / "comm");
    std::string name;
    std::getline(file, name);
    return name.empty() ? "process" : name;
}

bool IsAlive(int pid) {
    std::error_code error;
    return pid > 0 && fs::exists(ProcessDirectory(pid), error);
}

// Whether a /proc/<pid>/fd entry names a node under /dev.
bool IsDeviceNodeLink(const fs::path& fd_entry) {
    std::array<char, 64> text{};
    const ssize_t length = ::readlink(fd_entry.c_str(), text.data(), text.size());
    return length > 0 &&
           std::string_view(text.data(), static_cast<size_t>(length)).starts_with("/dev/");
}

bool SameDevice(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) || S_ISBLK(a.st_mode)) {
        return (a.st_mode & S_IFMT) == (b.st_mode & S_IFMT) && a.st_rdev == b.st_rdev;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The index of the pseudo-terminal whose terminal side `node` is.
std::optional<int> PtyIndex(const struct stat& node) {
    const unsigned major_number = major(node.st_rdev);
    if (!S_ISCHR(node.st_mode) || major_number < kPtySlaveMajor ||
        major_number >= kPtySlaveMajor + kPtySlaveMajorCount) {
        return std::nullopt;
    }
    return static_cast<int>((major_number - kPtySlaveMajor) * 256 + minor(node.st_rdev));
}

bool IsPtmx(const struct stat& opened) {
    return S_ISCHR(opened.st_mode) && major(opened.st_rdev) == kPtmxMajor &&
           minor(opened.st_rdev) == kPtmxMinor;
}

// The pty a master descriptor belongs to: its fdinfo has a "tty-index:" line.
std::optional<int> MasterIndex(int pid, const std::string& fd) {
    std::ifstream file(ProcessDirectory(pid) / "fdinfo" / fd);
    std::string line;
    constexpr std::string_view kKey = "tty-index:";
    while (std::getline(file, line)) {
        if (line.starts_with(kKey)) {
            std::string_view value = std::string_view(line).substr(kKey.size());
            value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
            return Number(value);
        }
    }
    return std::nullopt;
}

// /proc/locks: "1: FLOCK  ADVISORY  WRITE 612 00:05:3 0 EOF"; the device and inode are those of
// the node that was locked, major and minor in hex.
std::vector<int> FlockHolders(const struct stat& node) {
    std::vector<int> pids;
    std::ifstream file("/proc/locks");
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string id, type, mode, access, where;
        int pid = 0;
        if (!(fields >> id >> type >> mode >> access >> pid >> where) || type != "FLOCK") {
            continue;  // waiters ("->") and POSIX locks are not what the library takes
        }
        unsigned major_number = 0;
        unsigned minor_number = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &major_number, &minor_number, &inode) == 3 &&
            makedev(major_number, minor_number) == node.st_dev && inode == node.st_ino &&
            std::find(pids.begin(), pids.end(), pid) == pids.end()) {
            // One process may hold several locks of one node (shared locks through two opens).
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
    const int self = ::getpid();
    for (const int pid : FlockHolders(node)) {
        if (pid != self && IsAlive(pid)) {
            users.lockers.push_back({pid, CommandName(pid)});
        }
    }
    const std::optional<int> pty_index = PtyIndex(node);
    for (const int pid : ProcessIds()) {
        if (pid == self) {
            continue;
        }
        std::error_code error;
        fs::directory_iterator it(ProcessDirectory(pid) / "fd", error);
        if (error) {
            // Gone since the listing, or another user's: only the latter is hidden from us.
            users.hidden += error == std::errc::permission_denied ? 1 : 0;
            continue;
        }
        bool holds = false;
        bool holds_master = false;
        for (fs::directory_iterator end; it != end && !holds_master; it.increment(error)) {
            if (error) {
                break;
            }
            // Only descriptors of device nodes are looked at: asking another file's file system
            // for its attributes could wait for good (a FUSE daemon or an NFS server that does
            // not answer). The link's text is what the kernel already knows and asks nothing.
            struct stat opened {};
            if (!IsDeviceNodeLink(it->path()) || ::stat(it->path().c_str(), &opened) != 0) {
                continue;
            }
            holds = holds || SameDevice(node, opened);
            holds_master = pty_index && IsPtmx(opened) &&
                           MasterIndex(pid, it->path().filename().string()) == pty_index;
        }
        if (holds && !holds_master) {
            users.holders.push_back({pid, CommandName(pid)});
        }
    }
    return users;
}

std::vector<ProcessInfo> FindProcesses(const std::string& name) {
    std::vector<ProcessInfo> found;
    for (const int pid : ProcessIds()) {
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

}  // namespace carvex
