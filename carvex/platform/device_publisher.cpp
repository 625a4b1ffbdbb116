#include "carvex/platform/device_publisher.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <system_error>

#include "carvex/platform/publishing_folder.h"
#include "carvex/platform/unique_fd.h"
#include "carvex/platform/whole_file.h"

namespace carvex {

namespace fs = std::filesystem;

namespace {

constexpr auto kWorldReadableDirectory = fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec;
constexpr auto kWorldReadableFile =
    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;

// How long a list stays after it was replaced: a reader walking it finishes long before.
constexpr std::chrono::seconds kStaleGeneration{10};

// Every process may read what a publisher writes, whatever the publisher's umask.
void PutPublicFile(const fs::path& path, std::string_view text) {
    const Replacement written = PutWholeFile(path, text, kWorldReadableFile);
    if (!written.stamp) {
        throw std::runtime_error(written.error);
    }
}

// Removes a file, a link (never what it names) or a whole folder of the running user's, in a
// folder found safe. A folder of someone else's stays: nobody else may hand the publisher a tree
// to delete. False when something stays.
bool RemoveOwn(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT;
    }
    if (S_ISDIR(st.st_mode) && !WhyNotOwnFolder(path).empty()) {
        return false;
    }
    std::error_code error;
    fs::remove_all(path, error);
    return !error;
}

void RemoveOwnOrRefuse(const fs::path& path) {
    if (!RemoveOwn(path)) {
        throw UnsafeFolder(path.string() + " cannot be removed: it is not the publisher's own");
    }
}

fs::path RelativeTo(const fs::path& path, const DeviceRoot& root) {
    return path.lexically_relative(root.Path());
}

// Fills a fresh hidden sibling of `target` (a folder under the root), then turns `target` into a
// symbolic link to it with one rename: a reader resolves either the old or the new contents,
// never a half-written one. Earlier contents stay for a while after they were replaced, so a
// reader that is walking one of them finishes on it however many swaps happen meanwhile.
void SwapInDirectory(const DeviceRoot& root, const fs::path& relative_target,
                     const std::function<void(const fs::path&)>& fill) {
    const fs::path parent = PreparePublishingFolder(root.Path(), relative_target.parent_path());
    const fs::path target = parent / relative_target.filename();
    const std::string prefix = "." + target.filename().string() + ".";
    std::string pattern = (parent / (prefix + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "cannot create " + pattern);
    }
    const fs::path staged = pattern;
    // Filled through the descriptor of the folder just made, and while it is still closed to
    // others (mkdtemp makes it 0700).
    const UniqueFd staged_fd(
        ::open(staged.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!staged_fd) {
        throw std::system_error(errno, std::generic_category(), "cannot open " + staged.string());
    }
    fill(fs::path("/proc/self/fd") / std::to_string(staged_fd.Get()));
    if (::fchmod(staged_fd.Get(), static_cast<mode_t>(kWorldReadableDirectory)) != 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot open up " + staged.string());
    }

    std::error_code error;
    fs::path previous;
    const auto status = fs::symlink_status(target, error);
    if (fs::is_symlink(status)) {
        // Only a generation of ours, beside the link, counts (and is touched below).
        const fs::path linked = fs::read_symlink(target, error);
        if (!error && linked == linked.filename() && linked.string().starts_with(prefix)) {
            previous = parent / linked;
        }
    } else if (fs::is_directory(status)) {
        // A list written entry by entry before: moved aside so the link can take its name.
        if (const std::string why = WhyNotOwnFolder(target); !why.empty()) {
            throw UnsafeFolder(target.string() + " is not safe to publish in: it " + why);
        }
        previous = parent / (prefix + "before");
        RemoveOwnOrRefuse(previous);
        fs::rename(target, previous);
    }
    if (const std::string failed = PutSymbolicLink(target, staged.filename()); !failed.empty()) {
        throw std::runtime_error(failed);
    }
    // The list that was live until now starts to age.
    if (!previous.empty()) {
        ::utimensat(AT_FDCWD, previous.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
    }
    const auto now = fs::file_time_type::clock::now();

    // Older generations, and what a publisher that was interrupted left behind, once no reader
    // can still be walking them.
    for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        std::error_code time_error;
        const auto replaced = fs::last_write_time(path, time_error);
        if (path.filename().string().starts_with(prefix) && path != staged && path != previous &&
            !time_error && replaced < now - kStaleGeneration) {
            RemoveOwn(path);
        }
    }
}

}  // namespace

void WriteFileAtomically(const fs::path& path, std::string_view text) {
    PreparePublishingRoot(path.parent_path());
    PutPublicFile(path, text);
}

void DevicePublisher::PublishComPort(std::string_view name, const fs::path& target) {
    const fs::path link =
        PreparePublishingFolder(root_.Path(), RelativeTo(root_.ComDirectory(), root_)) /
        std::string(name);
    if (const std::string failed = PutSymbolicLink(link, target); !failed.empty()) {
        throw std::runtime_error(failed);
    }
}

void DevicePublisher::RemoveComPort(std::string_view name) {
    RemoveOwnOrRefuse(
        PreparePublishingFolder(root_.Path(), RelativeTo(root_.ComDirectory(), root_)) /
        std::string(name));
}

void DevicePublisher::PublishUsbDevice(std::string_view name, std::string_view device) {
    PutPublicFile(
        PreparePublishingFolder(root_.Path(), RelativeTo(root_.UsbDeviceDirectory(), root_)) /
            std::string(name),
        std::string(device) + "\n");
}

void DevicePublisher::RemoveUsbDevice(std::string_view name) {
    RemoveOwnOrRefuse(
        PreparePublishingFolder(root_.Path(), RelativeTo(root_.UsbDeviceDirectory(), root_)) /
        std::string(name));
}

void DevicePublisher::PublishDevice(DeviceClass device_class, int index,
                                    std::optional<std::string_view> friendly_name) {
    const fs::path directory = PreparePublishingFolder(
        root_.Path(),
        RelativeTo(root_.DeviceClassDirectory(device_class), root_) / std::to_string(index));
    if (friendly_name) {
        PutPublicFile(directory / "FriendlyName", *friendly_name);
    }
}

void DevicePublisher::RemoveDevice(DeviceClass device_class, int index) {
    const fs::path directory = PreparePublishingFolder(
        root_.Path(), RelativeTo(root_.DeviceClassDirectory(device_class), root_));
    RemoveOwnOrRefuse(directory / std::to_string(index));
}

void DevicePublisher::PublishDeviceList(DeviceClass device_class,
                                        std::span<const std::string> friendly_names) {
    SwapInDirectory(root_, RelativeTo(root_.DeviceClassDirectory(device_class), root_),
                    [&](const fs::path& staged) {
                        for (size_t index = 0; index < friendly_names.size(); ++index) {
                            const fs::path directory = staged / std::to_string(index);
                            fs::create_directory(directory);
                            fs::permissions(directory, kWorldReadableDirectory);
                            PutPublicFile(directory / "FriendlyName", friendly_names[index]);
                        }
                    });
}

fs::path DevicePublisher::KeyDirectory(std::string_view key_path) const {
    fs::path directory = RelativeTo(root_.RegistryDirectory(), root_) / "HKLM";
    while (!key_path.empty()) {
        const size_t separator = key_path.find('\\');
        const std::string_view component = key_path.substr(0, separator);
        if (!component.empty()) {
            directory /= std::string(component);
        }
        key_path = separator == std::string_view::npos ? std::string_view{}
                                                       : key_path.substr(separator + 1);
    }
    return directory;
}

void DevicePublisher::SetRegistryValue(std::string_view key_path, std::string_view name,
                                       std::string_view value) {
    PutPublicFile(PreparePublishingFolder(root_.Path(), KeyDirectory(key_path)) / std::string(name),
                  value);
}

void DevicePublisher::CreateRegistryKey(std::string_view key_path) {
    PreparePublishingFolder(root_.Path(), KeyDirectory(key_path));
}

void DevicePublisher::RemoveRegistryKey(std::string_view key_path) {
    const fs::path key = KeyDirectory(key_path);
    RemoveOwnOrRefuse(PreparePublishingFolder(root_.Path(), key.parent_path()) / key.filename());
}

void DevicePublisher::DenyRegistryKey(std::string_view key_path) {
    PutPublicFile(PreparePublishingFolder(root_.Path(), KeyDirectory(key_path)) / ".access-denied",
                  "");
}

void DevicePublisher::PublishRegistrySubkeys(std::string_view key_path,
                                             std::span<const RegistrySubkey> subkeys) {
    SwapInDirectory(root_, KeyDirectory(key_path), [&](const fs::path& staged) {
        for (const RegistrySubkey& subkey : subkeys) {
            const fs::path directory = staged / subkey.name;
            fs::create_directory(directory);
            fs::permissions(directory, kWorldReadableDirectory);
            for (const auto& [name, value] : subkey.values) {
                PutPublicFile(directory / name, value);
            }
        }
    });
}

}  // namespace carvex
