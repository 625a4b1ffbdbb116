#include "carvex/platform/publishing_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace carvex {

namespace fs = std::filesystem;

namespace {

constexpr mode_t kNewFolderMode = 0755;

std::string Octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string Owner(uid_t uid) {
    return uid == 0 ? std::string("root") : "user " + std::to_string(uid);
}

std::string Words(int error) {
    return std::generic_category().message(error);
}

[[noreturn]] void Refuse(const fs::path& folder, const std::string& why) {
    throw UnsafeFolder(folder.string() + " is not safe to publish in: it " + why);
}

// lstat that makes a missing folder first (in a parent already found safe).
struct stat LookAt(const fs::path& path, bool make) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        return st;
    }
    if (errno != ENOENT || !make) {
        Refuse(path, "cannot be looked at: " + Words(errno));
    }
    if (::mkdir(path.c_str(), kNewFolderMode) != 0 && errno != EEXIST) {
        Refuse(path, "cannot be made: " + Words(errno));
    }
    if (::lstat(path.c_str(), &st) != 0) {
        Refuse(path, "cannot be looked at: " + Words(errno));
    }
    return st;
}

// A folder above the root: only root and the running user may change what it holds, or others
// may, but only their own entries (the sticky bit, as on /tmp).
std::string WhyNotSafeAbove(const struct stat& st) {
    if (!S_ISDIR(st.st_mode)) {
        return "is not a folder";
    }
    if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
        return "belongs to " + Owner(st.st_uid) + ", neither root nor the user running this";
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0) {
        return "may be written by group or others (mode " + Octal(st.st_mode) +
               ") and is not sticky";
    }
    return {};
}

// Every folder of a path without links (a canonical one), itself included.
void CheckCanonicalFoldersAbove(const fs::path& canonical) {
    fs::path prefix;
    for (const fs::path& part : canonical) {
        prefix /= part;
        if (const std::string why = WhyNotSafeAbove(LookAt(prefix, false)); !why.empty()) {
            Refuse(prefix, why);
        }
    }
}

// The folders above `root` as its path names them, made where missing. A link among them must
// belong to root or the running user, and the folders it leads through are checked as well.
void PrepareFoldersAbove(const fs::path& root) {
    fs::path prefix;
    for (const fs::path& part : root.parent_path()) {
        if (part.empty() || part == ".") {
            continue;
        }
        prefix /= part;
        const struct stat st = LookAt(prefix, true);
        if (!S_ISLNK(st.st_mode)) {
            if (const std::string why = WhyNotSafeAbove(st); !why.empty()) {
                Refuse(prefix, why);
            }
            continue;
        }
        if (st.st_uid != 0 && st.st_uid != ::geteuid()) {
            Refuse(prefix, "is a link that belongs to " + Owner(st.st_uid) +
                               ", neither root nor the user running this");
        }
        std::error_code error;
        const fs::path resolved = fs::canonical(prefix, error);
        if (error) {
            Refuse(prefix, "cannot be followed: " + error.message());
        }
        CheckCanonicalFoldersAbove(resolved);
    }
}

std::string WhyNotOwn(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) {
        return "is a symbolic link";
    }
    if (!S_ISDIR(st.st_mode)) {
        return "is not a folder";
    }
    if (st.st_uid != ::geteuid()) {
        return "belongs to " + Owner(st.st_uid) + ", not to the user running this (" +
               Owner(::geteuid()) + ")";
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "may be written by group or others (mode " + Octal(st.st_mode) + ")";
    }
    return {};
}

void RequireOwn(const fs::path& folder, const struct stat& st) {
    if (const std::string why = WhyNotOwn(st); !why.empty()) {
        Refuse(folder, why);
    }
}

}  // namespace

std::string WhyNotOwnFolder(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return "cannot be looked at: " + Words(errno);
    }
    return WhyNotOwn(st);
}

void PreparePublishingRoot(const fs::path& root) {
    fs::path absolute = fs::absolute(root);
    if (!absolute.has_filename()) {
        absolute = absolute.parent_path();  // "root/" names the folder, not what it links to
    }
    PrepareFoldersAbove(absolute);
    RequireOwn(absolute, LookAt(absolute, true));
}

fs::path PreparePublishingFolder(const fs::path& root, const fs::path& relative) {
    PreparePublishingRoot(root);
    fs::path folder = root;
    for (const fs::path& part : relative) {
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == ".." || part.has_root_path()) {
            Refuse(root / relative, "leads out of the root " + root.string());
        }
        fs::path next = folder / part;
        struct stat st = LookAt(next, true);
        if (S_ISLNK(st.st_mode)) {
            // A list swapped in whole is a link to a hidden sibling of the publisher's own.
            std::error_code error;
            const fs::path target = fs::read_symlink(next, error);
            if (!error && target == target.filename() &&
                target.string().starts_with("." + part.string() + ".")) {
                next = folder / target;
                st = LookAt(next, false);
            }
        }
        RequireOwn(next, st);
        folder = std::move(next);
    }
    return folder;
}

}  // namespace carvex
