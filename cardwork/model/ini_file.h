#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cardwork/model/file_text.h"
#include "cardwork/model/legacy_code_page.h"
#include "carvex/platform/whole_file.h"

namespace cardwright {

using IniEntry = std::pair<std::string, std::string>;

// One section of a file written whole.
struct IniSection {
    std::string name;
    std::vector<IniEntry> entries;
};

// An INI file, read as the platform's private-profile functions read one and written so that
// nothing is ever lost or left half-written.
//
// Reading: section and key names match without regard to case (only a to z fold); the first
// section of a name and, inside it, the first key of a name win; a section counts as present only
// when it holds a key; a line whose first non-blank character is ';' is a comment; blanks around
// names and values are dropped and one pair of matching outer quotes ("..." or '...') is taken off
// a value; a value is read with at most 2047 bytes, cut before a UTF-8 character that would not
// fit whole; a key list holds as many names as fit in 16384 bytes. A UTF-8 byte-order mark at the
// start of the file is skipped. A missing file, a folder, and a file that cannot be read all read
// as empty.
//
// The file is parsed once into a snapshot, and each read looks the section and the key up in it
// (no scan of the file). Before each read the snapshot is checked against the file on disk
// (modification time to the nanosecond, size, inode and device), so a change in place and a
// replacement by rename are both seen. A rewrite in place that keeps the size within one tick of
// the file system's clock is not seen by reads; writes are not affected, because every write
// starts from the bytes on disk.
//
// Writing: every write replaces the file whole (see carvex::ReplaceWholeFile): a new file with a
// unique name in the same folder, the old file's permissions, flushed and renamed over the old
// one; through a symbolic link the target is replaced. Every line the write does not touch stays
// byte for byte. A write fails, leaving the file as it was, when the file exists but cannot be
// read, when the path is a folder or not a regular file, when the file is read-only, and when a
// name or a value could change the file's structure: a section name holding ']' or a line break,
// a key holding '=' or a line break or starting with '[' or ';', a value holding a line break, or
// a name with blanks around it (it could never be read back). A value that the reader would
// change (blanks around it, matching outer quotes) is written in double quotes so that it reads
// back as written. LastError() then says why.
//
// Encodings: the text is UTF-8 inside. A file that is not UTF-8 is read in the legacy code page
// given (see FileText), and every write but WriteWhole writes what it adds in the file's own
// encoding and keeps every other byte, so a file the Windows program wrote stays readable to it.
// A write fails, and says why, when the file's encoding cannot hold what it adds, and when the
// file would afterwards read otherwise than written (the encoding is told from the bytes alone:
// code-page text whose only bytes that are no UTF-8 went would be taken for UTF-8). WriteWhole,
// which keeps nothing of the file, writes UTF-8.
//
// Writers of one file take turns: each write that keeps part of the file holds a lock on a side
// file beside it (".<name>.lock") while it reads, edits and replaces the file, so two programs
// writing keys of one file (two windows, a window and carvexctl) lose none of each other's keys. A
// write that cannot have the lock within kLockWait fails and says so.
//
// Threads: one IniFile is used from one thread at a time (reads refresh the snapshot). Separate
// IniFile objects, in this process or another, may share a file: each sees the others' writes at
// its next read.
class IniFile {
  public:
    static constexpr size_t kMaxValueLength = 2047;
    // A larger file is not read (it cannot be read, as far as reads and writes are concerned):
    // the largest description of items is a few hundred kilobytes.
    static constexpr uint64_t kMaxFileBytes = uint64_t{16} * 1024 * 1024;
    static constexpr size_t kKeyListBytes = 16384;
    static constexpr std::chrono::milliseconds kLockWait{5000};

    explicit IniFile(std::filesystem::path path,
                     carvex::CodePage legacy_code_page = LegacyCodePage());
    ~IniFile();
    IniFile(IniFile&&) noexcept;
    IniFile& operator=(IniFile&&) noexcept;

    const std::filesystem::path& Path() const { return path_; }
    // True when the path names a regular file (readable or not); a folder is no file.
    bool Exists() const;

    // nullopt when the key is missing.
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view default_value) const;
    // Decimal or 0x-hexadecimal; the default for a missing or non-numeric value.
    int ReadInteger(std::string_view section, std::string_view key, int default_value) const;
    bool ReadBool(std::string_view section, std::string_view key, bool default_value) const;

    bool SectionExists(std::string_view section) const;
    // The key names of the section, in file order, as far as they fit the key list.
    std::vector<std::string> ReadSection(std::string_view section) const;
    // The keys of the section as ReadSection lists them, each with the value its name reads (the
    // first key of that name), all from one reading of the file.
    std::vector<IniEntry> ReadEntries(std::string_view section) const;
    // Every section header in file order, sections without keys included.
    std::vector<std::string> ReadSections() const;
    // `text` as the file's bytes would hold it, in the encoding it was read in: what a checksum
    // over the file's lines is taken over. nullopt when the encoding cannot hold it.
    std::optional<std::string> AsFileBytes(std::string_view text) const;
    // The encoding the file was read in (an empty or missing file is UTF-8).
    FileText::Encoding TextEncoding() const;

    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Writes several keys of one section with one replacement of the file: all or nothing.
    bool WriteStrings(std::string_view section,
                      const std::vector<std::pair<std::string, std::string>>& entries);
    // Replaces everything the file holds by these sections, in order, each key written as
    // WriteStrings writes it: all or nothing. Sections of one name (letter case aside) are
    // merged into the first, keys as MergedEntries merges them, and a section left without keys
    // is not written.
    bool WriteWhole(std::span<const IniSection> sections);
    // Both succeed without writing when there is nothing to remove.
    bool DeleteKey(std::string_view section, std::string_view key);
    bool EraseSection(std::string_view section);

    // Why the last failed write failed, or why the file could not be read at the last read that
    // found it unreadable, in words; empty until something fails.
    const std::string& LastError() const { return last_error_; }

  private:
    struct Snapshot;
    struct Edit;

    const Snapshot& Current() const;
    // The writers' lock of the file; nullopt (and LastError) when it cannot be had.
    std::optional<carvex::WriterLock> LockForWriting();
    // The file as it is on disk now, for a write; nullptr (and LastError) when it must not be
    // written.
    const Snapshot* ForWriting();
    bool Apply(const Snapshot& base, const std::vector<Edit>& edits);
    // Puts the bytes in place of the file, provided that they read back as `text`.
    bool Replace(std::string bytes, std::string_view text);
    bool Refuse(std::string reason);

    std::filesystem::path path_;
    carvex::CodePage code_page_;
    mutable std::unique_ptr<const Snapshot> snapshot_;
    mutable std::string last_error_;
};

// Folds only the letters a to z.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// Counts key names as a section's key list holds them (each zero-terminated, then a closing zero)
// within IniFile::kKeyListBytes: what a reader of the section gets.
class KeyListBytes {
  public:
    // False, counting nothing, when the name would not fit any more.
    bool Take(std::string_view name);

  private:
    size_t used_ = 1;
};

// The keys that writing these entries one after another leaves in a section that had none: a
// later entry of a name (letter case aside) replaces the value of the first, in its place.
std::vector<IniEntry> MergedEntries(std::span<const IniEntry> entries);

}  // namespace cardwright
