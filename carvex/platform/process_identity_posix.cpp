#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "carvex/platform/process.h"
#include "carvex/platform/process_identity.h"
#include "carvex/platform/unique_fd.h"

namespace carvex {

namespace {

constexpr const char* kBootIdFile = "/proc/sys/kernel/random/boot_id";
// /proc/<pid>/stat after the command name: field 3 (the state) comes first, field 22 (the start
// time in clock ticks since boot) 19 fields later.
constexpr size_t kStartField = 22 - 3;
// The whole line: 52 numbers and a command name of at most 64 bytes.
constexpr size_t kStatBytes = 2048;

std::string BootId() {
    std::ifstream file(kBootIdFile);
    std::string id;
    std::getline(file, id);
    if (id.empty()) {
        throw std::runtime_error(std::string("cannot read ") + kBootIdFile);
    }
    return id;
}

struct ProcessStat {
    char state = '?';
    uint64_t start = 0;
};

enum class StatRead { kRead, kNoProcess, kUnreadable };

// The command name sits in parentheses and may hold blanks and parentheses itself: the fields
// after it begin after the last ')'.
std::optional<ProcessStat> ParseStat(std::string_view line) {
    const size_t close = line.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    std::istringstream fields{std::string(line.substr(close + 1))};
    std::vector<std::string> after_name;
    for (std::string field; fields >> field && after_name.size() <= kStartField;) {
        after_name.push_back(field);
    }
    if (after_name.size() <= kStartField || after_name[0].size() != 1) {
        return std::nullopt;
    }
    ProcessStat stat;
    stat.state = after_name[0][0];
    const std::string& start = after_name[kStartField];
    const auto [end, error] =
        std::from_chars(start.data(), start.data() + start.size(), stat.start);
    if (error != std::errc{} || end != start.data() + start.size()) {
        return std::nullopt;
    }
    return stat;
}

StatRead ReadStat(int pid, ProcessStat& stat) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) {
        return errno == ENOENT || errno == ESRCH ? StatRead::kNoProcess : StatRead::kUnreadable;
    }
    std::array<char, kStatBytes> buffer{};
    ssize_t got = 0;
    do {
        got = ::read(file.Get(), buffer.data(), buffer.size());
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        // The process ended between the open and the read.
        return errno == ESRCH ? StatRead::kNoProcess : StatRead::kUnreadable;
    }
    const auto parsed = ParseStat(std::string_view(buffer.data(), static_cast<size_t>(got)));
    if (!parsed) {
        return StatRead::kUnreadable;
    }
    stat = *parsed;
    return StatRead::kRead;
}

}  // namespace

ProcessIdentity CurrentProcessIdentity() {
    ProcessIdentity self;
    self.boot = BootId();
    self.pid = CurrentProcessId();
    ProcessStat stat;
    if (ReadStat(self.pid, stat) != StatRead::kRead) {
        throw std::runtime_error("cannot read /proc/" + std::to_string(self.pid) + "/stat");
    }
    self.start = stat.start;
    return self;
}

bool ProcessGone(const ProcessIdentity& process) {
    std::string boot;
    try {
        boot = BootId();
    } catch (const std::runtime_error&) {
        return false;
    }
    if (process.boot != boot || process.pid <= 0) {
        return true;
    }
    ProcessStat stat;
    switch (ReadStat(process.pid, stat)) {
        case StatRead::kNoProcess:
            return true;
        case StatRead::kUnreadable:
            return false;
        case StatRead::kRead:
            break;
    }
    // Z: ended, not yet reaped by its parent; X: being taken away.
    return stat.start != process.start || stat.state == 'Z' || stat.state == 'X';
}

}  // namespace carvex
