#pragma once

#include <cstdint>
#include <memory>

#include "carvex/connection/main_control.h"

namespace carvex {

// The process's one connection, created by InitCommPort and destroyed by CloseCommPort.
extern std::unique_ptr<MainControl> g_pMainControl;

// Runs one exchange under the lock of the current connection and returns 1 or 0. Without a
// connection, or on one whose port is closed, the request cannot be written: status 0. No
// exception leaves.
template <class Exchange>
int32_t RunExchange(int32_t* status, Exchange&& exchange) noexcept {
    try {
        MainControl* connection = g_pMainControl.get();
        if (connection == nullptr) {
            if (status != nullptr) {
                *status = kStatusNotSent;
            }
            return 0;
        }
        ConnectionGuard guard(*connection);
        if (!connection->IsOpen()) {
            if (status != nullptr) {
                *status = kStatusNotSent;
            }
            return 0;
        }
        return exchange(*connection) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace carvex
