#pragma once

#include <filesystem>

#include "carvex/platform/device_root.h"
#include "carvex/platform/unique_fd.h"

namespace carvex {

// Serialises the writers of a device root: udev runs the events of several ports at once, and
// each writer reads what is published, changes it and writes it back. An exclusive flock on a
// hidden file, held for the object's life; the constructor waits for it.
class DevicePublisherLock {
  public:
    static constexpr const char* kLockFileName = ".lock";

    // Creates the root when it does not exist yet.
    explicit DevicePublisherLock(const DeviceRoot& root);
    // Any lock file, for state that publishers keep beside the root.
    explicit DevicePublisherLock(const std::filesystem::path& lock_file);

  private:
    UniqueFd fd_;
};

}  // namespace carvex
