#include "carvex/platform/device_publisher_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "carvex/platform/clock.h"
#include "carvex/platform/device_users.h"
#include "carvex/platform/publishing_folder.h"

namespace carvex {

namespace {

using std::chrono::milliseconds;

constexpr mode_t kOwnerOnly = 0600;
constexpr milliseconds kFirstRetry{10};
constexpr milliseconds kLongestRetry{100};

std::filesystem::path LockFileIn(const DeviceRoot& root) {
    PreparePublishingRoot(root.Path());
    return root.Path() / DevicePublisherLock::kLockFileName;
}

[[noreturn]] void Fail(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

// A lock file left readable by others, or made by another user, becomes this user's alone. Only
// a regular file with no other name is changed: a link planted at the lock's name must not make
// us change the mode of the file it names.
void MakeOwnersAlone(int fd, const std::filesystem::path& lock_file) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        Fail(errno, "cannot look at the lock " + lock_file.string());
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
        Fail(EPERM, lock_file.string() + " is not a lock file (a regular file with one name)");
    }
    if (st.st_uid != ::geteuid() && ::geteuid() == 0 && ::fchown(fd, 0, 0) != 0) {
        Fail(errno, "cannot hand the lock " + lock_file.string() + " to root");
    }
    // Another user's file cannot be changed by a user who is not root; it still serves.
    if ((st.st_mode & 07777) != kOwnerOnly && ::fchmod(fd, kOwnerOnly) != 0 && errno != EPERM) {
        Fail(errno, "cannot make the lock " + lock_file.string() + " its owner's alone");
    }
}

std::string Duration(milliseconds wait) {
    return wait.count() % 1000 == 0 ? std::to_string(wait.count() / 1000) + " s"
                                    : std::to_string(wait.count()) + " ms";
}

std::string Holder(const std::filesystem::path& lock_file) {
    const DeviceUsers users = FindDeviceUsers(lock_file);
    const auto& named = users.lockers.empty() ? users.holders : users.lockers;
    return named.empty() ? "another process" : DescribeProcesses(named);
}

}  // namespace

DevicePublisherLock::DevicePublisherLock(const DeviceRoot& root, milliseconds wait)
    : DevicePublisherLock(LockFileIn(root), wait) {}

DevicePublisherLock::DevicePublisherLock(const std::filesystem::path& lock_file,
                                         milliseconds wait) {
    PreparePublishingRoot(lock_file.parent_path());
    fd_.Reset(::open(lock_file.c_str(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                     kOwnerOnly));
    if (!fd_) {
        Fail(errno, "cannot open the lock " + lock_file.string());
    }
    MakeOwnersAlone(fd_.Get(), lock_file);
    // flock has no time limit of its own: try, and pause between tries until the deadline.
    const Clock& clock = GetClock();
    const auto deadline = clock.SteadyNow() + wait;
    milliseconds pause = kFirstRetry;
    while (::flock(fd_.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            Fail(errno, "cannot lock " + lock_file.string());
        }
        if (clock.SteadyNow() >= deadline) {
            throw Timeout(Holder(lock_file) + " has held the lock " + lock_file.string() +
                          " for more than " + Duration(wait) +
                          "; gave up waiting, nothing was changed");
        }
        clock.SleepFor(pause);
        pause = std::min(pause * 2, kLongestRetry);
    }
}

}  // namespace carvex
