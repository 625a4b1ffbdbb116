#pragma once

#include <filesystem>
#include <memory>
#include <optional>

namespace carvex {

// Tells other processes that a folder is in use: an advisory lock on a file inside it, held for
// the object's life and let go by the system when the process ends, however it ends. Whoever
// means to remove the folder takes the lock first, and leaves the folder alone when it cannot.
// The lock file is never handed to a child process.
class FolderLock {
  public:
    static constexpr const char* kLockFileName = ".in-use";

    // The folder's lock, or nullopt when another process (or another FolderLock) holds it. A
    // folder whose lock file is missing and cannot be made (not this user's to write) has no
    // holder: its lock is had, holding nothing. Throws std::system_error when the lock file
    // cannot be opened or locked for another reason.
    static std::optional<FolderLock> TryHold(const std::filesystem::path& folder);

    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

  private:
    struct Held;
    explicit FolderLock(std::unique_ptr<Held> held);

    std::unique_ptr<Held> held_;
};

}  // namespace carvex
