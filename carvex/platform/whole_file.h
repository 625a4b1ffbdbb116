#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace carvex {

// What a path names now, told apart finely enough that an edit in place (modification time to
// the nanosecond, size) and a replacement by rename (inode, device) both show. Symbolic links
// are followed.
struct FileStamp {
    enum class Kind {
        kMissing,      // nothing there (or a path component is not a folder)
        kFile,         // a regular file
        kFolder,       // a folder
        kOther,        // a device, pipe or socket
        kUnreachable,  // the path cannot be looked at (permissions, link loop)
    };
    Kind kind = Kind::kMissing;
    int64_t modified_ns = 0;
    uint64_t size = 0;
    uint64_t inode = 0;
    uint64_t device = 0;

    bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const std::filesystem::path& path);

struct WholeFile {
    // Taken before the bytes are read, so a change made during the read shows at the next stamp.
    FileStamp stamp;
    std::string content;  // empty unless stamp names a regular file that could be read
    // Set when the path names something that exists but cannot be read (or cannot be reached).
    std::error_code error;
};

// Reads a regular file whole. Folders, devices, pipes and sockets are never read, nor is a file
// larger than `limit` bytes (error: file too large), so a file someone hands us cannot make us
// take all the memory there is.
WholeFile ReadWholeFile(const std::filesystem::path& path,
                        uint64_t limit = std::numeric_limits<uint64_t>::max());

struct Replacement {
    std::optional<FileStamp> stamp;  // of the new file; nullopt when the replacement failed
    std::string error;               // why it failed, in words
};

// Makes the file at path hold exactly content without ever leaving it short or missing: the
// content goes to a new file with a unique name in the same folder, which gets the old file's
// permissions (and owner, where allowed), is flushed to the disk and is renamed over the old
// file. Through a symbolic link the link's target is replaced and the link stays. Refuses a path
// that names a folder or anything else but a regular file. The old file is untouched when
// anything fails.
Replacement ReplaceWholeFile(const std::filesystem::path& path, std::string_view content);

// Why ReplaceWholeFile would refuse `path` now, found by the same rules before anything is
// written (a folder, no regular file, a read-only file, a folder that takes no new file, a link
// that cannot be followed), or empty. Nothing at path is changed.
std::string ReplacementRefusal(const std::filesystem::path& path);

// Puts a new file holding exactly content at path, for files that others only read (what a
// publisher writes into a folder that a user may be able to write). The content goes to a new
// file with a unique name in the same folder, created exclusively (so a link planted there is
// never followed), which has the given permissions before its first byte is written, and is
// renamed over whatever was at path: a symbolic link there is replaced, not followed. It is not
// flushed to the disk. Whatever was at path is untouched when anything fails.
Replacement PutWholeFile(const std::filesystem::path& path, std::string_view content,
                         std::filesystem::perms permissions);

// Makes path a symbolic link to target, replacing whatever was there (never following it) with
// one rename of a link made under a unique name. Empty, or why it failed, in words.
std::string PutSymbolicLink(const std::filesystem::path& path, const std::filesystem::path& target);

// Puts a new file holding exactly content at path, only where nothing has that name yet: the
// content goes to a file with a unique name in the same folder, is flushed to the disk, and takes
// the name only if it is free (two writers racing for one name never replace each other's file);
// the folder is flushed too, so the new name survives a crash. `taken` tells a name already in
// use apart from other failures; nothing is left behind on any failure.
struct NewFile {
    bool written = false;
    bool taken = false;  // the name was in use: nothing written
    std::string error;   // why it failed, in words
};
NewFile CreateNewFile(const std::filesystem::path& path, std::string_view content);

// The file that writing `path` changes: the path itself, or the end of its chain of symbolic
// links (which need not exist yet). nullopt, with the reason in words, when a link cannot be
// followed (a loop, or more than 40 links).
std::optional<std::filesystem::path> FinalTarget(const std::filesystem::path& path,
                                                 std::string& error);

// An exclusive lock on a side file beside a file's final target (".<name>.lock"), held while
// the object lives: writers of one file, in this process or others, take turns reading, editing
// and replacing it, so none loses what another wrote.
class WriterLock {
  public:
    ~WriterLock();
    WriterLock(WriterLock&&) noexcept;
    WriterLock& operator=(WriterLock&&) noexcept;
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    // Waits up to `limit` for the lock of `path`; nullopt, with the reason in words, when it
    // cannot be had (another writer holds it that long, or the side file cannot be made).
    static std::optional<WriterLock> Take(const std::filesystem::path& path,
                                          std::chrono::milliseconds limit, std::string& error);

  private:
    struct Held;
    explicit WriterLock(std::unique_ptr<Held> held);
    std::unique_ptr<Held> held_;
};

}  // namespace carvex
