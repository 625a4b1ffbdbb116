#include "tools/carvexctl/port_diagnosis.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "carvex/platform/unique_fd.h"
#include "tools/carvexctl/device_users.h"

namespace carvexctl {

namespace fs = std::filesystem;

namespace {

std::string UserName(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry != nullptr ? entry->pw_name : std::to_string(uid);
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

std::string NotPermitted(const std::string& subject, const struct stat& node) {
    const std::string prefix = "you may not open " + subject + ": ";
    if ((node.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
        return prefix + "only its owner " + UserName(node.st_uid) + " may";
    }
    const group* entry = ::getgrgid(node.st_gid);
    const std::string name = entry != nullptr ? entry->gr_name : std::to_string(node.st_gid);
    const auto [in_session, listed] = GroupMembership(node.st_gid);
    if (listed && !in_session) {
        return prefix + "you were added to the group " + name +
               " after this session began; log out and in again";
    }
    return prefix + "it is open to the group " + name +
           ", which you are not in (sudo usermod -aG " + name + " " + UserName(::geteuid()) +
           ", then log out and in again)";
}

std::string InUse(const std::string& subject, const std::string& device) {
    const DeviceUsers users = FindDeviceUsers(device);
    if (!users.lockers.empty()) {
        return subject + " is in use by " + DescribeProcesses(users.lockers);
    }
    if (!users.holders.empty()) {
        return subject + " is in use by " + DescribeProcesses(users.holders);
    }
    std::string text = subject + " is in use by another process";
    if (users.hidden > 0) {
        text += " that only root can see";
        const auto modem_manager = FindProcesses("ModemManager");
        if (!modem_manager.empty()) {
            text += "; " + DescribeProcesses(modem_manager) +
                    " is running and holds the ports of modems it has not been told to leave";
        }
    }
    return text;
}

}  // namespace

std::string ExplainUnopenableDevice(const std::string& com_name, const std::string& device) {
    const std::string subject = com_name + " (" + device + ")";
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0) {
        return subject + " is gone: the card was unplugged or is restarting";
    }
    carvex::UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        switch (errno) {
            case EACCES:
            case EPERM:
                return NotPermitted(subject, node);
            case EBUSY:
                return InUse(subject, device);
            case ENOENT:
            case ENODEV:
            case ENXIO:
            case EIO:
                return subject + " is gone: the card was unplugged or is restarting";
            default:
                return subject + " cannot be opened: " + std::strerror(errno);
        }
    }
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        return InUse(subject, device);
    }
    fd.Reset();
    const DeviceUsers users = FindDeviceUsers(device);
    if (!users.holders.empty()) {
        // They get the card's answers to the switch to DIAG, or send it commands of their own.
        return subject + " is in use by " + DescribeProcesses(users.holders);
    }
    return subject + " opens, but the card did not answer the switch to DIAG";
}

std::string ExplainUnopenablePort(const carvex::DeviceRoot& root, int number) {
    const std::string com_name = "COM" + std::to_string(number);
    const fs::path link = root.ComDirectory() / com_name;
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(link, error))) {
        return com_name + " is not in the device root (" + link.string() + " is missing)";
    }
    fs::path target = fs::read_symlink(link, error);
    if (target.is_relative()) {
        target = link.parent_path() / target;
    }
    return ExplainUnopenableDevice(com_name, target.string());
}

}  // namespace carvexctl
