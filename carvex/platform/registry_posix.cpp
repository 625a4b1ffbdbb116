#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "carvex/platform/registry.h"
#include "carvex/platform/whole_file.h"

namespace carvex {

namespace {

constexpr const char* kAccessDeniedMarker = ".access-denied";

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return fold(x) == fold(y); });
}

std::vector<std::string> SortedEntries(const std::filesystem::path& directory, bool directories) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(".")) {
            continue;
        }
        std::error_code type_error;
        if (it->is_directory(type_error) == directories) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The child folder whose name equals `name` without regard to case.
std::optional<std::filesystem::path> FindChild(const std::filesystem::path& directory,
                                               std::string_view name) {
    for (const std::string& child : SortedEntries(directory, true)) {
        if (EqualIgnoringCase(child, name)) {
            return directory / child;
        }
    }
    return std::nullopt;
}

bool CanOpen(const std::filesystem::path& directory) {
    std::error_code error;
    if (std::filesystem::exists(directory / kAccessDeniedMarker, error)) {
        return false;
    }
    return ::access(directory.c_str(), R_OK | X_OK) == 0;
}

}  // namespace

std::optional<RegistryKey> RegistryKey::OpenLocalMachine(const DeviceRoot& root,
                                                         std::string_view key_path) {
    std::filesystem::path directory = root.RegistryDirectory() / "HKLM";
    while (!key_path.empty()) {
        const size_t separator = key_path.find('\\');
        const std::string_view component = key_path.substr(0, separator);
        key_path = separator == std::string_view::npos ? std::string_view{}
                                                       : key_path.substr(separator + 1);
        if (component.empty()) {
            continue;
        }
        auto child = FindChild(directory, component);
        if (!child) {
            return std::nullopt;
        }
        directory = std::move(*child);
    }
    if (!CanOpen(directory)) {
        return std::nullopt;
    }
    return RegistryKey(directory);
}

std::vector<std::string> RegistryKey::SubkeyNames() const {
    return SortedEntries(directory_, true);
}

std::vector<std::string> RegistryKey::ValueNames() const {
    return SortedEntries(directory_, false);
}

std::optional<std::string> RegistryKey::ReadString(std::string_view value_name) const {
    // The value of exactly this name first, then one whose name differs only in case.
    auto names = ValueNames();
    std::stable_partition(names.begin(), names.end(),
                          [&](const std::string& name) { return name == value_name; });
    for (const std::string& name : names) {
        if (!EqualIgnoringCase(name, value_name)) {
            continue;
        }
        WholeFile file = ReadWholeFile(directory_ / name, kMaxDeviceRootValueBytes);
        if (file.stamp.kind != FileStamp::Kind::kFile || file.error) {
            return std::nullopt;
        }
        return std::move(file.content);
    }
    return std::nullopt;
}

}  // namespace carvex
