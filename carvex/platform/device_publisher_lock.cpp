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

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_ino == b.st_ino && a.st_dev == b.st_dev;
}

// A new lock file, the running user's alone from its creation, renamed over `lock_file` while
// that still names the file `old` describes. Whoever opened the old file while it was open to
// them keeps a descriptor of a file that no publisher locks any more. Empty when another
// publisher replaced the file first.
UniqueFd ReplaceLockFile(const std::filesystem::path& lock_file, const struct stat& old) {
    std::string made = lock_file.string() + ".XXXXXX";
    // Mode 0600, created exclusively: a link planted at the name is never followed.
    UniqueFd fd(::mkostemp(made.data(), O_CLOEXEC));
    if (!fd) {
        Fail(errno, "cannot make a new lock beside " + lock_file.string());
    }
    struct stat now {};
    if (::lstat(lock_file.c_str(), &now) != 0 || !SameFile(now, old)) {
        ::unlink(made.c_str());
        return {};
    }
    if (::rename(made.c_str(), lock_file.c_str()) != 0) {
        const int error = errno;
        ::unlink(made.c_str());
        Fail(error, "cannot replace the lock " + lock_file.string());
    }
    return fd;
}

// The lock file, the running user's alone (mode 0600). One made by another user or left open to
// others is replaced, not corrected: changing its mode would not take it away from whoever has
// opened it already. A link or a second name at the lock's name stops the publisher.
UniqueFd OpenLockFile(const std::filesystem::path& lock_file) {
    for (;;) {
        UniqueFd fd(::open(lock_file.c_str(),
                           O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                           kOwnerOnly));
        if (!fd) {
            Fail(errno, "cannot open the lock " + lock_file.string());
        }
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0) {
            Fail(errno, "cannot look at the lock " + lock_file.string());
        }
        if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
            Fail(EPERM, lock_file.string() + " is not a lock file (a regular file with one name)");
        }
        if (st.st_uid == ::geteuid() && (st.st_mode & 07777) == kOwnerOnly) {
            return fd;
        }
        if (UniqueFd fresh = ReplaceLockFile(lock_file, st)) {
            return fresh;
        }
    }
}

// Whether the lock's name still names the file locked: another publisher may have replaced it
// while this one waited, and then the lock that counts is the one on the new file.
bool StillNamed(int fd, const std::filesystem::path& lock_file) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::lstat(lock_file.c_str(), &named) == 0 &&
           SameFile(held, named);
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
    // flock has no time limit of its own: try, and pause between tries until the deadline.
    const Clock& clock = GetClock();
    const auto deadline = clock.SteadyNow() + wait;
    milliseconds pause = kFirstRetry;
    for (;;) {
        fd_ = OpenLockFile(lock_file);
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
        if (StillNamed(fd_.Get(), lock_file)) {
            return;
        }
    }
}

}  // namespace carvex
