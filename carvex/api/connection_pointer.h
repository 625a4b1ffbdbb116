#pragma once

#include <memory>

#include "carvex/connection/main_control.h"

namespace carvex {

// Holds the process's one connection, created by InitCommPort and destroyed by CloseCommPort.
// A connection still open when the library is unloaded or the process ends is released there
// and then: its receiving thread stops and its port closes, without pauses and without the
// clock, so nothing runs in unloaded code and no static's destruction order matters.
class ConnectionPointer {
  public:
    constexpr ConnectionPointer() = default;
    ~ConnectionPointer();
    ConnectionPointer(const ConnectionPointer&) = delete;
    ConnectionPointer& operator=(const ConnectionPointer&) = delete;

    MainControl* get() const { return connection_.get(); }
    MainControl* operator->() const { return connection_.get(); }
    explicit operator bool() const { return connection_ != nullptr; }

    // Closes and destroys the held connection, then holds `next`. A failure to close is thrown
    // to the caller, and the connection is then kept.
    void reset(std::unique_ptr<MainControl> next = nullptr);

  private:
    std::unique_ptr<MainControl> connection_;
    int owner_ = 0;  // the process that made the connection
};

extern ConnectionPointer g_pMainControl;

}  // namespace carvex
