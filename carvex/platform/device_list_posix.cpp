#include <system_error>

#include "carvex/platform/device_list.h"
#include "carvex/platform/whole_file.h"

namespace carvex {

namespace {

// A publisher may swap a whole list in at any moment: one enumeration keeps to the list that was
// there when it began.
std::filesystem::path PinnedList(const std::filesystem::path& directory) {
    std::error_code error;
    auto pinned = std::filesystem::canonical(directory, error);
    return error ? directory : pinned;
}

}  // namespace

DeviceList::DeviceList(const DeviceRoot& root, DeviceClass device_class)
    : directory_(PinnedList(root.DeviceClassDirectory(device_class))) {}

DeviceList::Entry DeviceList::Enumerate(int index) const {
    std::error_code error;
    // Indices are dense: the first missing folder ends the enumeration.
    const bool present =
        index >= 0 && std::filesystem::is_directory(directory_ / std::to_string(index), error);
    return present ? Entry::kPresent : Entry::kNoMoreItems;
}

std::optional<std::string> DeviceList::FriendlyName(int index) const {
    WholeFile file = ReadWholeFile(directory_ / std::to_string(index) / "FriendlyName",
                                   kMaxDeviceRootValueBytes);
    if (file.stamp.kind != FileStamp::Kind::kFile || file.error) {
        return std::nullopt;
    }
    return std::move(file.content);
}

}  // namespace carvex
