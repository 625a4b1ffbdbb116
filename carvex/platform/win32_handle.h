#pragma once

#include <windows.h>

#include <utility>

namespace carvex {

// Owns one Windows kernel handle (a device, an event, a timer) and closes it when it goes. Both
// null and INVALID_HANDLE_VALUE mean "no handle", as the functions that make them disagree.
class Win32Handle {
  public:
    Win32Handle() = default;
    explicit Win32Handle(HANDLE handle) : handle_(handle) {}
    ~Win32Handle() { Reset(); }

    Win32Handle(Win32Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Win32Handle& operator=(Win32Handle&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.handle_, nullptr));
        }
        return *this;
    }
    Win32Handle(const Win32Handle&) = delete;
    Win32Handle& operator=(const Win32Handle&) = delete;

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return Valid(); }

    void Reset(HANDLE handle = nullptr) {
        if (Valid()) {
            ::CloseHandle(handle_);
        }
        handle_ = handle;
    }

  private:
    HANDLE handle_ = nullptr;
};

}  // namespace carvex
