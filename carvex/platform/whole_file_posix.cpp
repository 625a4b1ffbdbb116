#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <random>
#include <thread>

#include "carvex/platform/unique_fd.h"
#include "carvex/platform/whole_file.h"

namespace carvex {

namespace {

constexpr int kMaxLinkHops = 40;
constexpr int kTemporaryNameTries = 100;
constexpr size_t kReadChunk = 4096;

std::string Words(int error) {
    return std::generic_category().message(error);
}

FileStamp StampFrom(const struct stat& st) {
    FileStamp stamp;
    if (S_ISREG(st.st_mode)) {
        stamp.kind = FileStamp::Kind::kFile;
    } else if (S_ISDIR(st.st_mode)) {
        stamp.kind = FileStamp::Kind::kFolder;
    } else {
        stamp.kind = FileStamp::Kind::kOther;
    }
    stamp.modified_ns =
        static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    stamp.size = static_cast<uint64_t>(st.st_size);
    stamp.inode = static_cast<uint64_t>(st.st_ino);
    stamp.device = static_cast<uint64_t>(st.st_dev);
    return stamp;
}

FileStamp::Kind KindOfStatError(int error) {
    return (error == ENOENT || error == ENOTDIR) ? FileStamp::Kind::kMissing
                                                 : FileStamp::Kind::kUnreachable;
}

}  // namespace

std::optional<std::filesystem::path> FinalTarget(const std::filesystem::path& start,
                                                 std::string& error) {
    std::filesystem::path path = start;
    for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno == ENOENT) {
                return path;
            }
            error = "cannot look at " + path.string() + ": " + Words(errno);
            return std::nullopt;
        }
        if (!S_ISLNK(st.st_mode)) {
            return path;
        }
        std::error_code link_error;
        const auto link = std::filesystem::read_symlink(path, link_error);
        if (link_error) {
            error = "cannot follow the link " + path.string() + ": " + link_error.message();
            return std::nullopt;
        }
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    error = "cannot follow the link " + path.string() + ": " + Words(ELOOP);
    return std::nullopt;
}

namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// ".name.XXXXXXXX" with eight random letters: a name in the file's folder that no one else uses.
std::string UniqueName(const std::string& name) {
    static constexpr std::string_view kLetters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random(std::random_device{}() ^ static_cast<uint64_t>(::getpid()));
    std::string unique = "." + name + ".";
    for (int i = 0; i < 8; ++i) {
        unique += kLetters[random() % kLetters.size()];
    }
    return unique;
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
    const std::filesystem::path folder = path.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

// A new file beside `target` under a name no one else uses, removed again unless it was renamed
// into place. O_EXCL makes the create fail on anything already there, a symbolic link included.
class PendingFile {
  public:
    explicit PendingFile(const std::filesystem::path& target) {
        for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
            path_ = FolderOf(target) / UniqueName(target.filename().string());
            // Mode 0666 lets the umask decide for a new file, as for any file the user creates.
            fd_.Reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (fd_ || errno != EEXIST) {
                break;
            }
        }
        error_ = fd_ ? 0 : errno;
    }
    ~PendingFile() {
        fd_.Reset();
        if (error_ == 0 && !renamed_) {
            ::unlink(path_.c_str());
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
    int Fd() const { return fd_.Get(); }
    const std::filesystem::path& Path() const { return path_; }
    void Close() { fd_.Reset(); }
    void Renamed() { renamed_ = true; }

  private:
    std::filesystem::path path_;
    UniqueFd fd_;
    int error_ = 0;
    bool renamed_ = false;
};

enum class Flush { kToDisk, kNo };

// Writes a pending file (and flushes it to the disk, if asked) and renames it over target; the
// error in words, or empty.
std::string Commit(PendingFile& pending, std::string_view content,
                   const std::filesystem::path& target, Flush flush, struct stat& written) {
    if (!WriteAll(pending.Fd(), content)) {
        return "cannot write " + pending.Path().string() + ": " + Words(errno);
    }
    if ((flush == Flush::kToDisk && ::fsync(pending.Fd()) != 0) ||
        ::fstat(pending.Fd(), &written) != 0) {
        return "cannot write " + pending.Path().string() + ": " + Words(errno);
    }
    pending.Close();
    if (::rename(pending.Path().c_str(), target.c_str()) != 0) {
        return "cannot rename " + pending.Path().string() + " to " + target.string() + ": " +
               Words(errno);
    }
    // The folder is not flushed: after a crash it holds the old file or the new one, both whole.
    pending.Renamed();
    return {};
}

}  // namespace

FileStamp StampOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        FileStamp stamp;
        stamp.kind = KindOfStatError(errno);
        return stamp;
    }
    return StampFrom(st);
}

WholeFile ReadWholeFile(const std::filesystem::path& path, uint64_t limit) {
    WholeFile file;
    // Looked at before opening, so that a device or a pipe is never opened.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        file.stamp.kind = KindOfStatError(error);
        if (file.stamp.kind == FileStamp::Kind::kUnreachable) {
            file.error = std::error_code(error, std::generic_category());
        }
        return file;
    }
    file.stamp = StampFrom(st);
    if (file.stamp.kind != FileStamp::Kind::kFile) {
        return file;
    }
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) {
        const int error = errno;
        file.stamp = StampOf(path);
        if (file.stamp.kind != FileStamp::Kind::kMissing) {
            file.error = std::error_code(error, std::generic_category());
        }
        return file;
    }
    if (::fstat(fd.Get(), &st) != 0) {
        file.error = std::error_code(errno, std::generic_category());
        return file;
    }
    file.stamp = StampFrom(st);
    if (file.stamp.kind != FileStamp::Kind::kFile) {
        return file;
    }
    if (static_cast<uint64_t>(st.st_size) > limit) {
        file.error = std::make_error_code(std::errc::file_too_large);
        return file;
    }
    // The size is only a hint: the file may grow while it is read.
    file.content.resize(static_cast<size_t>(st.st_size) + kReadChunk);
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
        const ssize_t count =
            ::read(fd.Get(), file.content.data() + used, file.content.size() - used);
        if (count == 0) {
            break;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            file.error = std::error_code(errno, std::generic_category());
            used = 0;
            break;
        }
        used += static_cast<size_t>(count);
    }
    file.content.resize(used);
    return file;
}

namespace {

// What replacing a file finds before it writes anything: the file the path ends at, and whether
// it is there (with its status); or why it may not be replaced.
struct ReplacementTarget {
    std::optional<std::filesystem::path> path;
    bool existed = false;
    struct stat old {};
    std::string refusal;
};

ReplacementTarget LookAtTarget(const std::filesystem::path& path) {
    ReplacementTarget found;
    found.path = FinalTarget(path, found.refusal);
    if (!found.path) {
        return found;
    }
    const std::filesystem::path& target = *found.path;
    found.existed = ::stat(target.c_str(), &found.old) == 0;
    if (!found.existed && errno != ENOENT) {
        found.refusal = "cannot look at " + target.string() + ": " + Words(errno);
    } else if (found.existed && S_ISDIR(found.old.st_mode)) {
        found.refusal = target.string() + " is a folder";
    } else if (found.existed && !S_ISREG(found.old.st_mode)) {
        found.refusal = target.string() + " is not a regular file";
    } else if (found.existed && ::access(target.c_str(), W_OK) != 0) {
        // A file the user made read-only stays as it is, although its folder would allow a
        // rename.
        found.refusal = target.string() + " is read-only: " + Words(errno);
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
    const std::filesystem::path& target = *found.path;
    const struct stat& old = found.old;

    PendingFile pending(target);
    if (!pending.Failure().empty()) {
        result.error = pending.Failure();
        return result;
    }
    // The old file's owner and permissions before the first byte: content that only they could
    // read is never readable by others, not even for a moment.
    if (found.existed) {
        struct stat made {};
        if (::fstat(pending.Fd(), &made) == 0 &&
            (made.st_uid != old.st_uid || made.st_gid != old.st_gid)) {
            // Only a privileged user may hand the file back to its owner; others keep theirs.
            [[maybe_unused]] const int ignored = ::fchown(pending.Fd(), old.st_uid, old.st_gid);
        }
        if (::fchmod(pending.Fd(), old.st_mode & 07777) != 0) {
            result.error =
                "cannot set the permissions of " + pending.Path().string() + ": " + Words(errno);
            return result;
        }
    }
    struct stat written {};
    result.error = Commit(pending, content, target, Flush::kToDisk, written);
    if (result.error.empty()) {
        result.stamp = StampFrom(written);
    }
    return result;
}

NewFile CreateNewFile(const std::filesystem::path& path, std::string_view content) {
    NewFile result;
    PendingFile pending(path);
    if (!pending.Failure().empty()) {
        result.error = pending.Failure();
        return result;
    }
    if (!WriteAll(pending.Fd(), content) || ::fsync(pending.Fd()) != 0) {
        result.error = "cannot write " + pending.Path().string() + ": " + Words(errno);
        return result;
    }
    pending.Close();
    // A hard link takes the name only if it is free; the unique name goes with `pending`.
    if (::link(pending.Path().c_str(), path.c_str()) != 0) {
        result.taken = errno == EEXIST;
        result.error = "cannot make " + path.string() + ": " + Words(errno);
        return result;
    }
    const UniqueFd folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder || ::fsync(folder.Get()) != 0) {
        result.error = "cannot flush the folder " + FolderOf(path).string() + ": " + Words(errno);
        ::unlink(path.c_str());
        return result;
    }
    result.written = true;
    return result;
}

Replacement PutWholeFile(const std::filesystem::path& path, std::string_view content,
                         std::filesystem::perms permissions) {
    Replacement result;
    PendingFile pending(path);
    if (!pending.Failure().empty()) {
        result.error = pending.Failure();
        return result;
    }
    // Set on the descriptor, whatever the umask, before any byte is in the file.
    const auto mode = static_cast<mode_t>(permissions & std::filesystem::perms::mask);
    if (::fchmod(pending.Fd(), mode) != 0) {
        result.error =
            "cannot set the permissions of " + pending.Path().string() + ": " + Words(errno);
        return result;
    }
    struct stat written {};
    // Not flushed to the disk: publishers write many small files, most of them into /run, which
    // a crash empties anyway.
    result.error = Commit(pending, content, path, Flush::kNo, written);
    if (result.error.empty()) {
        result.stamp = StampFrom(written);
    }
    return result;
}

std::string PutSymbolicLink(const std::filesystem::path& path,
                            const std::filesystem::path& target) {
    int error = EEXIST;
    std::filesystem::path made;
    for (int attempt = 0; attempt < kTemporaryNameTries && error == EEXIST; ++attempt) {
        made = FolderOf(path) / UniqueName(path.filename().string());
        error = ::symlink(target.c_str(), made.c_str()) == 0 ? 0 : errno;
    }
    if (error != 0) {
        return "cannot make a link in " + FolderOf(path).string() + ": " + Words(error);
    }
    if (::rename(made.c_str(), path.c_str()) != 0) {
        error = errno;
        ::unlink(made.c_str());
        return "cannot rename " + made.string() + " to " + path.string() + ": " + Words(error);
    }
    return {};
}

struct WriterLock::Held {
    UniqueFd fd;
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
        target->parent_path() / ("." + target->filename().string() + ".lock");
    // Read access is all a lock needs, so a side file another user made still serves; a link
    // planted at its name is not followed, and a FIFO there cannot hold the open up.
    auto held = std::make_unique<Held>();
    held->fd.Reset(
        ::open(side.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!held->fd) {
        error = "cannot make the lock " + side.string() + ": " + Words(errno);
        return std::nullopt;
    }
    struct stat side_file {};
    if (::fstat(held->fd.Get(), &side_file) != 0 || !S_ISREG(side_file.st_mode)) {
        error = "the lock " + side.string() + " is not a regular file";
        return std::nullopt;
    }
    // flock waits without a limit; a writer that holds the lock longer than any write takes is
    // waited for only so long, in short steps.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto step = std::chrono::milliseconds(1);
    while (::flock(held->fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = "cannot lock " + side.string() + ": " + Words(errno);
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
