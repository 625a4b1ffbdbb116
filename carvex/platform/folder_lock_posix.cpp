#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <system_error>

#include "carvex/platform/folder_lock.h"
#include "carvex/platform/unique_fd.h"

namespace carvex {

struct FolderLock::Held {
    UniqueFd fd;
};

FolderLock::FolderLock(std::unique_ptr<Held> held) : held_(std::move(held)) {}
FolderLock::FolderLock(FolderLock&& other) noexcept = default;
FolderLock& FolderLock::operator=(FolderLock&& other) noexcept = default;
FolderLock::~FolderLock() = default;

std::optional<FolderLock> FolderLock::TryHold(const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / kLockFileName;
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;
    // Readable by all: another operator's prune must be able to ask whether the run is over.
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | kFlags, 0644));
    if (!fd && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        // flock takes a descriptor open for reading only just as well.
        fd.Reset(::open(file.c_str(), O_RDONLY | kFlags));
        if (!fd && errno == ENOENT) {
            return FolderLock(std::make_unique<Held>());
        }
    }
    if (!fd) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot open the lock " + file.string());
    }
    while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return std::nullopt;
        }
        if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "cannot lock " + file.string());
        }
    }
    return FolderLock(std::make_unique<Held>(Held{std::move(fd)}));
}

}  // namespace carvex
