#include <windows.h>

#include <system_error>

#include "carvex/platform/folder_lock.h"
#include "carvex/platform/win32_handle.h"

namespace carvex {

struct FolderLock::Held {
    Win32Handle file;
};

FolderLock::FolderLock(std::unique_ptr<Held> held) : held_(std::move(held)) {}
FolderLock::FolderLock(FolderLock&& other) noexcept = default;
FolderLock& FolderLock::operator=(FolderLock&& other) noexcept = default;
FolderLock::~FolderLock() = default;

std::optional<FolderLock> FolderLock::TryHold(const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / kLockFileName;
    // A handle is not inherited unless asked for: a child process never holds the lock.
    Win32Handle handle(::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!handle && ::GetLastError() == ERROR_ACCESS_DENIED) {
        handle.Reset(::CreateFileW(file.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
            return FolderLock(std::make_unique<Held>());
        }
    }
    if (!handle) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "cannot open the lock " + file.string());
    }
    OVERLAPPED whole{};
    if (::LockFileEx(handle.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                     &whole) == 0) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
            return std::nullopt;
        }
        throw std::system_error(static_cast<int>(error), std::system_category(),
                                "cannot lock " + file.string());
    }
    return FolderLock(std::make_unique<Held>(Held{std::move(handle)}));
}

}  // namespace carvex
