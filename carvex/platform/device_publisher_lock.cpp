#include "carvex/platform/device_publisher_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <system_error>

namespace carvex {

namespace {

std::filesystem::path LockFileIn(const DeviceRoot& root) {
    std::filesystem::create_directories(root.Path());
    return root.Path() / DevicePublisherLock::kLockFileName;
}

}  // namespace

DevicePublisherLock::DevicePublisherLock(const DeviceRoot& root)
    : DevicePublisherLock(LockFileIn(root)) {}

DevicePublisherLock::DevicePublisherLock(const std::filesystem::path& lock_file)
    : fd_(::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644)) {
    if (!fd_) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot open the lock " + lock_file.string());
    }
    while (::flock(fd_.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(),
                                    "cannot lock " + lock_file.string());
        }
    }
}

}  // namespace carvex
