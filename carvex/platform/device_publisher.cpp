#include "carvex/platform/device_publisher.h"

#include <fstream>
#include <stdexcept>

namespace carvex {

namespace fs = std::filesystem;

namespace {

// Writes the whole file under a temporary name and renames it, so a reader never sees half.
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
    fs::rename(temporary, path);
}

}  // namespace

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

}  // namespace carvex
