#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "carvex/link/port_discovery.h"
#include "carvex/platform/device_users.h"
#include "carvex/platform/port_diagnosis.h"
#include "carvex/platform/printable_text.h"
#include "carvex/platform/serial_node_posix.h"
#include "carvex/platform/unique_fd.h"

namespace carvex {

namespace fs = std::filesystem;

namespace {

using Cause = PortDiagnosis::Cause;

std::string UserName(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry != nullptr ? PrintableText(entry->pw_name) : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    const group* entry = ::getgrgid(gid);
    return entry != nullptr ? PrintableText(entry->gr_name) : std::to_string(gid);
}

// Whether this process has the group now, and whether the user is listed in it at all.
std::pair<bool, bool> GroupMembership(gid_t gid) {
    bool in_session = ::getegid() == gid;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 0)));
    if (count > 0 && ::getgroups(count, groups.data()) == count) {
        in_session = in_session || std::find(groups.begin(), groups.end(), gid) != groups.end();
    }
    bool listed = false;
    const passwd* user = ::getpwuid(::geteuid());
    const group* entry = ::getgrgid(gid);
    if (user != nullptr && entry != nullptr) {
        listed = user->pw_gid == gid;
        for (char** member = entry->gr_mem; !listed && *member != nullptr; ++member) {
            listed = std::strcmp(*member, user->pw_name) == 0;
        }
    }
    return {in_session, listed};
}

// "COM12 (/dev/ttyUSB2)": the port and the tty it stands for.
std::string Subject(const std::string& com_name, const fs::path& device) {
    return com_name + " (" + PrintableText(device.string()) + ")";
}

PortDiagnosis Gone(const std::string& com_name, const fs::path& device) {
    return {Cause::kGone,
            Subject(com_name, device) + " is gone: the card was unplugged or is restarting",
            com_name + " is gone"};
}

PortDiagnosis NotPermitted(const std::string& com_name, const fs::path& device,
                           const struct stat& node) {
    const std::string prefix = "you may not open " + Subject(com_name, device) + ": ";
    const std::string brief = "no permission for " + com_name + ": ";
    if ((node.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
        const std::string owner = UserName(node.st_uid);
        return {Cause::kNotPermitted, prefix + "only its owner " + owner + " may",
                brief + "only " + owner + " may open it"};
    }
    const std::string name = GroupName(node.st_gid);
    const auto [in_session, listed] = GroupMembership(node.st_gid);
    if (listed && !in_session) {
        return {Cause::kNotPermitted,
                prefix + "you were added to the group " + name +
                    " after this session began; log out and in again",
                brief + "log out and in again to use the group " + name};
    }
    return {Cause::kNotPermitted,
            prefix + "it is open to the group " + name +
                ", which you are not in (sudo usermod -aG " + name + " " + UserName(::geteuid()) +
                ", then log out and in again)",
            brief + "join the group " + name};
}

std::string Describe(const std::vector<ProcessInfo>& processes) {
    std::vector<ProcessInfo> printable = processes;
    for (ProcessInfo& process : printable) {
        process.name = PrintableText(process.name);
    }
    return DescribeProcesses(printable);
}

PortDiagnosis InUseBy(const std::string& com_name, const fs::path& device,
                      const std::vector<ProcessInfo>& processes) {
    const std::string users = Describe(processes);
    return {Cause::kInUse, Subject(com_name, device) + " is in use by " + users,
            com_name + " is in use by " + users};
}

// A process that has the tty open is named first: the lock's recorded owner may have ended
// and left the lock to a child, or may have been another user's.
PortDiagnosis InUse(const std::string& com_name, const fs::path& device) {
    const DeviceUsers users = FindDeviceUsers(device);
    if (!users.holders.empty()) {
        return InUseBy(com_name, device, users.holders);
    }
    if (!users.lockers.empty()) {
        return InUseBy(com_name, device, users.lockers);
    }
    std::string text = Subject(com_name, device) + " is in use by another process";
    if (users.hidden > 0) {
        text += " that only root can see";
        const auto modem_manager = FindProcesses("ModemManager");
        if (!modem_manager.empty()) {
            text += "; " + Describe(modem_manager) +
                    " is running and holds the ports of modems it has not been told to leave";
        }
    }
    return {Cause::kInUse, text, com_name + " is in use by another process"};
}

}  // namespace

PortDiagnosis ExplainUnopenableDevice(const std::string& com_name, const fs::path& device) {
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0) {
        return Gone(com_name, device);
    }
    // Never opened: the library does not open it either.
    if (!IsSerialDeviceNode(node)) {
        return {Cause::kCannotOpen,
                Subject(com_name, device) + " is not a serial device: the device root's link " +
                    "points elsewhere",
                com_name + " is not a serial device"};
    }
    UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        const int error = errno;
        switch (error) {
            case EACCES:
            case EPERM:
                return NotPermitted(com_name, device, node);
            case EBUSY:
                return InUse(com_name, device);
            case ENOENT:
            case ENODEV:
            case ENXIO:
            case EIO:
                return Gone(com_name, device);
            default:
                return {Cause::kCannotOpen,
                        Subject(com_name, device) + " cannot be opened: " + std::strerror(error),
                        com_name + " cannot be opened: " + std::strerror(error)};
        }
    }
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        return InUse(com_name, device);
    }
    fd.Reset();
    const DeviceUsers users = FindDeviceUsers(device);
    if (!users.holders.empty()) {
        // They get the card's answers to the switch to DIAG, or send it commands of their own.
        return InUseBy(com_name, device, users.holders);
    }
    return {Cause::kNoAnswer,
            Subject(com_name, device) + " opens, but the card did not answer the switch to DIAG",
            "the card on " + com_name + " does not answer"};
}

bool PortGone(const DeviceRoot& root, int number) {
    const fs::path link = root.ComDirectory() / ComName(number);
    struct stat node {};
    return ::stat(link.c_str(), &node) != 0;
}

PortDiagnosis ExplainUnopenablePort(const DeviceRoot& root, int number) {
    const std::string com_name = ComName(number);
    const fs::path link = root.ComDirectory() / com_name;
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(link, error))) {
        return {Cause::kNotPublished,
                com_name + " is not in the device root (" + PrintableText(link.string()) +
                    " is missing)",
                com_name + " is not published"};
    }
    fs::path target = fs::read_symlink(link, error);
    if (target.is_relative()) {
        target = link.parent_path() / target;
    }
    return ExplainUnopenableDevice(com_name, target);
}

PortDiagnosis ExplainUnopenableCard(const DeviceRoot& root) {
    if (const auto port = FindDiagPort(root)) {
        return ExplainUnopenablePort(root, *port);
    }
    return {Cause::kNoCard,
            "no card found: no PC UI interface among the serial ports (device root " +
                PrintableText(root.Path().string()) + ")",
            "no card found"};
}

}  // namespace carvex
