#pragma once

#include <memory>
#include <optional>
#include <string>

#include "carvex/platform/device_root.h"

namespace carvex {

// The present devices of one device class, enumerated by index as the card's driver installed
// them, as the list stood when the object was made.
class DeviceList {
  public:
    enum class Entry {
        kPresent,     // a device sits at the index
        kNoMoreItems  // the enumeration has ended
    };

    DeviceList(const DeviceRoot& root, DeviceClass device_class);

    Entry Enumerate(int index) const;

    // The device's friendly name; nullopt when its property cannot be read.
    std::optional<std::string> FriendlyName(int index) const;

  private:
#if defined(_WIN32)
    std::shared_ptr<void> list_;  // the setup API's device information set; null when none
    DeviceClass device_class_;
#else
    std::filesystem::path directory_;
#endif
};

}  // namespace carvex
