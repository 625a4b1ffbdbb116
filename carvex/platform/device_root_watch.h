#pragma once

#include <chrono>
#include <memory>

#include "carvex/platform/device_root.h"

namespace carvex {

// Tells a program that waits for cards when the device root's device lists or COM ports change
// (a card plugged in, pulled out, away for its restart), so that it reads them again then
// rather than at every turn. Linux: inotify on the root, devices/, its class folders and com/,
// each watched from when it appears. Not on Windows.
class DeviceRootWatch {
  public:
    explicit DeviceRootWatch(const DeviceRoot& root);
    ~DeviceRootWatch();
    DeviceRootWatch(const DeviceRootWatch&) = delete;
    DeviceRootWatch& operator=(const DeviceRootWatch&) = delete;

    // Waits until the root changed, Wake was called, or `limit` has passed (negative: no
    // limit). True for a change or a wake; what piled up meanwhile counts as one.
    bool Wait(std::chrono::milliseconds limit);
    // Ends a Wait now or the next one; any thread may call it.
    void Wake();

    class Watch;

  private:
    std::unique_ptr<Watch> watch_;
};

}  // namespace carvex
