#include <windows.h>

#include <algorithm>
#include <optional>
#include <random>
#include <thread>

#include "carvex/platform/whole_file.h"
#include "carvex/platform/win32_handle.h"
#include "carvex/platform/win32_text.h"

namespace carvex {

namespace {

constexpr int kMaxLinkHops = 40;
constexpr int kTemporaryNameTries = 100;
constexpr DWORD kReadChunk = 4096;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::error_code SystemError(DWORD error) {
    return std::error_code(static_cast<int>(error), std::system_category());
}

std::string Words(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return "error " + std::to_string(error);
    }
    std::wstring words(text, length);
    ::LocalFree(text);
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                              words.back() == L'.' || words.back() == L' ')) {
        words.pop_back();
    }
    return Narrow(words);
}

FileStamp::Kind KindOfOpenError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            return FileStamp::Kind::kMissing;
        default:
            return FileStamp::Kind::kUnreachable;
    }
}

int64_t Nanoseconds(FILETIME time) {
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(ticks) * 100;
}

// The stamp of an open handle: the file index and volume serial number take the place of the
// inode and device.
FileStamp StampFrom(HANDLE file) {
    FileStamp stamp;
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        stamp.kind = FileStamp::Kind::kOther;
        return stamp;
    }
    if (!::GetFileInformationByHandle(file, &info)) {
        stamp.kind = FileStamp::Kind::kUnreachable;
        return stamp;
    }
    stamp.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileStamp::Kind::kFolder
                                                                    : FileStamp::Kind::kFile;
    stamp.modified_ns = Nanoseconds(info.ftLastWriteTime);
    stamp.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp.device = info.dwVolumeSerialNumber;
    return stamp;
}

// Opens what the path names for looking at it only (no read or write access), folders included.
Win32Handle OpenForStamp(const std::filesystem::path& path) {
    return Win32Handle(::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD count = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
        if (!::WriteFile(file, bytes.data(), count, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
    const std::filesystem::path folder = path.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

// A new file beside `target` under a name no one else uses, removed again unless it was moved
// into place.
class PendingFile {
  public:
    explicit PendingFile(const std::filesystem::path& target) {
        const std::filesystem::path folder = FolderOf(target);
        const std::wstring name = target.filename().wstring();
        static constexpr std::wstring_view kLetters =
            L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        thread_local std::mt19937_64 random(std::random_device{}() ^ ::GetCurrentProcessId());
        for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
            std::wstring unique = L"." + name + L".";
            for (int i = 0; i < 8; ++i) {
                unique += kLetters[random() % kLetters.size()];
            }
            path_ = folder / unique;
            file_.Reset(::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file_ || ::GetLastError() != ERROR_FILE_EXISTS) {
                break;
            }
        }
        error_ = file_ ? 0 : ::GetLastError();
    }
    ~PendingFile() {
        file_.Reset();
        if (error_ == 0 && !moved_) {
            ::DeleteFileW(path_.c_str());
        }
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Why the file could not be made, in words; empty when it was.
    std::string Failure() const {
        return error_ == 0 ? std::string()
                           : "cannot create a file in " + path_.parent_path().string() + ": " +
                                 Words(error_);
    }
    HANDLE Handle() const { return file_.Get(); }
    const std::filesystem::path& Path() const { return path_; }
    void Close() { file_.Reset(); }
    void Moved() { moved_ = true; }

  private:
    std::filesystem::path path_;
    Win32Handle file_;
    DWORD error_ = 0;
    bool moved_ = false;
};

}  // namespace

std::optional<std::filesystem::path> FinalTarget(const std::filesystem::path& path,
                                                 std::string& error) {
    std::filesystem::path at = path;
    for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
        std::error_code link_error;
        if (!std::filesystem::is_symlink(at, link_error)) {
            return at;
        }
        const auto link = std::filesystem::read_symlink(at, link_error);
        if (link_error) {
            error = "cannot follow the link " + at.string() + ": " + link_error.message();
            return std::nullopt;
        }
        at = link.is_absolute() ? link : at.parent_path() / link;
    }
    error = "cannot follow the link " + at.string() + ": too many links";
    return std::nullopt;
}

FileStamp StampOf(const std::filesystem::path& path) {
    const Win32Handle file = OpenForStamp(path);
    if (!file) {
        FileStamp stamp;
        stamp.kind = KindOfOpenError(::GetLastError());
        return stamp;
    }
    return StampFrom(file.Get());
}

WholeFile ReadWholeFile(const std::filesystem::path& path, uint64_t limit) {
    WholeFile file;
    // Looked at before opening for reading, so that a device or a pipe is never read.
    file.stamp = StampOf(path);
    if (file.stamp.kind == FileStamp::Kind::kUnreachable) {
        file.error = SystemError(ERROR_ACCESS_DENIED);
    }
    if (file.stamp.kind != FileStamp::Kind::kFile) {
        return file;
    }
    const Win32Handle handle(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        const DWORD error = ::GetLastError();
        file.stamp = StampOf(path);
        if (file.stamp.kind != FileStamp::Kind::kMissing) {
            file.error = SystemError(error);
        }
        return file;
    }
    file.stamp = StampFrom(handle.Get());
    if (file.stamp.kind != FileStamp::Kind::kFile) {
        return file;
    }
    if (file.stamp.size > limit) {
        file.error = std::make_error_code(std::errc::file_too_large);
        return file;
    }
    // The size is only a hint: the file may grow while it is read.
    file.content.resize(static_cast<size_t>(file.stamp.size) + kReadChunk);
    size_t used = 0;
    for (;;) {
        if (used > limit) {
            file.content.clear();
            file.error = std::make_error_code(std::errc::file_too_large);
            return file;
        }
        if (used == file.content.size()) {
            file.content.resize(used + kReadChunk);
        }
        DWORD count = 0;
        const DWORD room =
            static_cast<DWORD>(std::min<size_t>(file.content.size() - used, 1u << 30));
        if (!::ReadFile(handle.Get(), file.content.data() + used, room, &count, nullptr)) {
            file.error = SystemError(::GetLastError());
            used = 0;
            break;
        }
        if (count == 0) {
            break;
        }
        used += count;
    }
    file.content.resize(used);
    return file;
}

namespace {

// What replacing a file finds before it writes anything: the file the path ends at and whether
// it is there, or why it may not be replaced.
struct ReplacementTarget {
    std::optional<std::filesystem::path> path;
    bool existed = false;
    std::string refusal;
};

ReplacementTarget LookAtTarget(const std::filesystem::path& path) {
    ReplacementTarget found;
    found.path = FinalTarget(path, found.refusal);
    if (!found.path) {
        return found;
    }
    const std::filesystem::path& target = *found.path;
    const FileStamp old = StampOf(target);
    found.existed = old.kind == FileStamp::Kind::kFile;
    // A file the user made read-only stays as it is, although its folder would allow a rename.
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (old.kind == FileStamp::Kind::kUnreachable) {
        found.refusal = "cannot look at " + target.string();
    } else if (old.kind == FileStamp::Kind::kFolder) {
        found.refusal = target.string() + " is a folder";
    } else if (old.kind == FileStamp::Kind::kOther) {
        found.refusal = target.string() + " is not a regular file";
    } else if (found.existed && attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_READONLY)) {
        found.refusal = target.string() + " is read-only";
    }
    return found;
}

}  // namespace

std::string ReplacementRefusal(const std::filesystem::path& path) {
    const ReplacementTarget target = LookAtTarget(path);
    if (!target.refusal.empty()) {
        return target.refusal;
    }
    // The new content goes to a file beside it first: the folder must take one (made and gone
    // again here).
    return PendingFile(*target.path).Failure();
}

Replacement ReplaceWholeFile(const std::filesystem::path& path, std::string_view content) {
    Replacement result;
    const ReplacementTarget found = LookAtTarget(path);
    if (!found.refusal.empty()) {
        result.error = found.refusal;
        return result;
    }
    const auto& target = found.path;
    const bool existed = found.existed;

    PendingFile pending(*target);
    if (!pending.Failure().empty()) {
        result.error = pending.Failure();
        return result;
    }
    if (!WriteAll(pending.Handle(), content) || !::FlushFileBuffers(pending.Handle())) {
        result.error = "cannot write " + pending.Path().string() + ": " + Words(::GetLastError());
        return result;
    }
    pending.Close();
    // ReplaceFile keeps the old file's attributes and permissions on the new one.
    const bool moved =
        existed ? ::ReplaceFileW(target->c_str(), pending.Path().c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                : ::MoveFileExW(pending.Path().c_str(), target->c_str(), MOVEFILE_WRITE_THROUGH);
    if (!moved) {
        result.error = "cannot move " + pending.Path().string() + " to " + target->string() + ": " +
                       Words(::GetLastError());
        return result;
    }
    pending.Moved();
    result.stamp = StampOf(*target);
    return result;
}

// A new file that others only read: made exclusively under a unique name, then moved over
// whatever is at path.
Replacement PutWholeFile(const std::filesystem::path& path, std::string_view content,
                         std::filesystem::perms /*permissions*/) {
    Replacement result;
    PendingFile pending(path);
    if (!pending.Failure().empty()) {
        result.error = pending.Failure();
        return result;
    }
    if (!WriteAll(pending.Handle(), content)) {
        result.error = "cannot write " + pending.Path().string() + ": " + Words(::GetLastError());
        return result;
    }
    pending.Close();
    if (!::MoveFileExW(pending.Path().c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        result.error = "cannot move " + pending.Path().string() + " to " + path.string() + ": " +
                       Words(::GetLastError());
        return result;
    }
    pending.Moved();
    result.stamp = StampOf(path);
    return result;
}

NewFile CreateNewFile(const std::filesystem::path& path, std::string_view content) {
    NewFile result;
    PendingFile pending(path);
    if (!pending.Failure().empty()) {
        result.error = pending.Failure();
        return result;
    }
    if (!WriteAll(pending.Handle(), content) || !::FlushFileBuffers(pending.Handle())) {
        result.error = "cannot write " + pending.Path().string() + ": " + Words(::GetLastError());
        return result;
    }
    pending.Close();
    // Without MOVEFILE_REPLACE_EXISTING the move takes the name only if it is free; the write
    // through flushes the folder's record of it.
    if (!::MoveFileExW(pending.Path().c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        result.taken = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
        result.error = "cannot make " + path.string() + ": " + Words(error);
        return result;
    }
    pending.Moved();
    result.written = true;
    return result;
}

// PutSymbolicLink serves the publishers of a device root, which Windows does not have: it is not
// built here.

struct WriterLock::Held {
    Win32Handle file;
};

WriterLock::WriterLock(std::unique_ptr<Held> held) : held_(std::move(held)) {}
WriterLock::~WriterLock() = default;
WriterLock::WriterLock(WriterLock&&) noexcept = default;
WriterLock& WriterLock::operator=(WriterLock&&) noexcept = default;

std::optional<WriterLock> WriterLock::Take(const std::filesystem::path& path,
                                           std::chrono::milliseconds limit, std::string& error) {
    const auto target = FinalTarget(path, error);
    if (!target) {
        return std::nullopt;
    }
    const std::filesystem::path side =
        target->parent_path() / (L"." + target->filename().wstring() + L".lock");
    auto held = std::make_unique<Held>();
    held->file.Reset(::CreateFileW(side.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held->file) {
        error = "cannot make the lock " + side.string() + ": " + Words(::GetLastError());
        return std::nullopt;
    }
    // A writer that holds the lock longer than any write takes is waited for only so long, in
    // short steps (Wine does not finish a lock that is waited for overlapped).
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto step = std::chrono::milliseconds(1);
    for (;;) {
        OVERLAPPED range{};
        if (::LockFileEx(held->file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                         1, 0, &range)) {
            break;
        }
        const DWORD lock_error = ::GetLastError();
        if (lock_error != ERROR_LOCK_VIOLATION && lock_error != ERROR_IO_PENDING) {
            error = "cannot lock " + side.string() + ": " + Words(lock_error);
            return std::nullopt;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error = "another program is writing it (it holds the lock " + side.string() + ")";
            return std::nullopt;
        }
        std::this_thread::sleep_for(step);
        step = std::min(step * 2, std::chrono::milliseconds(50));
    }
    return WriterLock(std::move(held));
}

}  // namespace carvex
