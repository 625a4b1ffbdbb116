#pragma once

#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "carvex/platform/device_root.h"
#include "carvex/platform/unique_fd.h"

namespace carvex {

// Serialises the writers of a device root: udev runs the events of several ports at once, and
// each writer reads what is published, changes it and writes it back. An exclusive flock on a
// hidden file, held for the object's life.
//
// The lock file is its owner's alone (mode 0600): a user who could open it could hold the lock
// and stall every publisher. A lock file with another owner or mode is replaced by a new one,
// so a descriptor a user opened while it was open to them holds nothing.
// The constructor waits at most `wait` for another holder to let go.
class DevicePublisherLock {
  public:
    static constexpr const char* kLockFileName = ".lock";
    // A publisher holds the lock for milliseconds: one that waits this long waits for a holder
    // that is stuck or hostile.
    static constexpr std::chrono::seconds kDefaultWait{5};

    // Thrown when the lock could not be had within the wait; what() names the lock file and,
    // where it can be seen, the process that holds it.
    class Timeout : public std::runtime_error {
      public:
        using std::runtime_error::runtime_error;
    };

    // Creates the root when it does not exist yet. The lock's folder must be safe to publish in
    // (PreparePublishingRoot): UnsafeFolder otherwise.
    explicit DevicePublisherLock(const DeviceRoot& root,
                                 std::chrono::milliseconds wait = kDefaultWait);
    // Any lock file, for state that publishers keep beside the root.
    explicit DevicePublisherLock(const std::filesystem::path& lock_file,
                                 std::chrono::milliseconds wait = kDefaultWait);

  private:
    UniqueFd fd_;
};

}  // namespace carvex
