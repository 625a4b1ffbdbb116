#include "carvex/platform/device_publisher.h"

#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <system_error>

namespace carvex {

namespace fs = std::filesystem;

namespace {

constexpr auto kWorldReadableDirectory = fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec;

constexpr std::chrono::seconds kStaleGeneration{10};

// Fills a fresh hidden sibling of `target`, then turns `target` into a symbolic link to it with
// one rename: a reader resolves either the old or the new contents, never a half-written one.
// Earlier contents stay for a while, so a reader that is walking one of them finishes on it
// however many swaps happen meanwhile.
void SwapInDirectory(const fs::path& target, const std::function<void(const fs::path&)>& fill) {
    const fs::path parent = target.parent_path();
    const std::string prefix = "." + target.filename().string() + ".";
    fs::create_directories(parent);
    std::string pattern = (parent / (prefix + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "cannot create " + pattern);
    }
    const fs::path staged = pattern;
    fs::permissions(staged, kWorldReadableDirectory);
    fill(staged);

    std::error_code error;
    fs::path previous;
    const auto status = fs::symlink_status(target, error);
    if (fs::is_symlink(status)) {
        previous = parent / fs::read_symlink(target);
    } else if (fs::is_directory(status)) {
        // A list written entry by entry before: moved aside so the link can take its name.
        previous = parent / (prefix + "before");
        fs::remove_all(previous, error);
        fs::rename(target, previous);
    }
    const fs::path link = parent / (prefix + "link");
    fs::remove(link, error);
    fs::create_symlink(staged.filename(), link);
    fs::rename(link, target);

    // Older generations, and what a publisher that was interrupted left behind, once no reader
    // can still be walking them.
    const auto stale_before = fs::file_time_type::clock::now() - kStaleGeneration;
    for (fs::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        std::error_code time_error;
        const auto written = fs::last_write_time(path, time_error);
        if (path.filename().string().starts_with(prefix) && path != staged && path != previous &&
            !time_error && written < stale_before) {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    }
}

}  // namespace

void WriteFileAtomically(const fs::path& path, std::string_view text) {
    fs::create_directories(path.parent_path());
    const fs::path temporary = path.parent_path() / ("." + path.filename().string() + ".tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        if (!out) {
            throw std::runtime_error("cannot write " + temporary.string());
        }
    }
    // Every process may read what a publisher writes, whatever the publisher's umask.
    fs::permissions(temporary, fs::perms::owner_read | fs::perms::owner_write |
                                   fs::perms::group_read | fs::perms::others_read);
    fs::rename(temporary, path);
}

void DevicePublisher::PublishComPort(std::string_view name, const fs::path& target) {
    const fs::path link = root_.ComDirectory() / std::string(name);
    fs::create_directories(link.parent_path());
    const fs::path temporary = link.parent_path() / ("." + std::string(name) + ".tmp");
    std::error_code ignored;
    fs::remove(temporary, ignored);
    fs::create_symlink(target, temporary);
    fs::rename(temporary, link);
}

void DevicePublisher::RemoveComPort(std::string_view name) {
    std::error_code ignored;
    fs::remove(root_.ComDirectory() / std::string(name), ignored);
}

void DevicePublisher::PublishDevice(DeviceClass device_class, int index,
                                    std::optional<std::string_view> friendly_name) {
    const fs::path directory = root_.DeviceClassDirectory(device_class) / std::to_string(index);
    fs::create_directories(directory);
    if (friendly_name) {
        WriteFileAtomically(directory / "FriendlyName", *friendly_name);
    }
}

void DevicePublisher::RemoveDevice(DeviceClass device_class, int index) {
    std::error_code ignored;
    fs::remove_all(root_.DeviceClassDirectory(device_class) / std::to_string(index), ignored);
}

void DevicePublisher::PublishDeviceList(DeviceClass device_class,
                                        std::span<const std::string> friendly_names) {
    SwapInDirectory(root_.DeviceClassDirectory(device_class), [&](const fs::path& staged) {
        for (size_t index = 0; index < friendly_names.size(); ++index) {
            const fs::path directory = staged / std::to_string(index);
            fs::create_directory(directory);
            fs::permissions(directory, kWorldReadableDirectory);
            WriteFileAtomically(directory / "FriendlyName", friendly_names[index]);
        }
    });
}

fs::path DevicePublisher::KeyDirectory(std::string_view key_path) const {
    fs::path directory = root_.RegistryDirectory() / "HKLM";
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
    WriteFileAtomically(KeyDirectory(key_path) / std::string(name), value);
}

void DevicePublisher::CreateRegistryKey(std::string_view key_path) {
    fs::create_directories(KeyDirectory(key_path));
}

void DevicePublisher::RemoveRegistryKey(std::string_view key_path) {
    std::error_code ignored;
    fs::remove_all(KeyDirectory(key_path), ignored);
}

void DevicePublisher::DenyRegistryKey(std::string_view key_path) {
    WriteFileAtomically(KeyDirectory(key_path) / ".access-denied", "");
}

void DevicePublisher::PublishRegistrySubkeys(std::string_view key_path,
                                             std::span<const RegistrySubkey> subkeys) {
    SwapInDirectory(KeyDirectory(key_path), [&](const fs::path& staged) {
        for (const RegistrySubkey& subkey : subkeys) {
            const fs::path directory = staged / subkey.name;
            fs::create_directory(directory);
            fs::permissions(directory, kWorldReadableDirectory);
            for (const auto& [name, value] : subkey.values) {
                WriteFileAtomically(directory / name, value);
            }
        }
    });
}

}  // namespace carvex
