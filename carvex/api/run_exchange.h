#pragma once

#include <cstdint>

#include "carvex/api/connection_pointer.h"

namespace carvex {

// The policy of every connection-bound export: one exchange under the lock of the current
// connection, 1 or 0 as the result. Without a connection, or on one whose port is closed, the
// request cannot be written: status 0. No exception leaves.
template <class Exchange>
int32_t RunExchange(int32_t* status, Exchange&& exchange) noexcept {
    try {
        MainControl* connection = g_pMainControl.get();
        if (connection == nullptr) {
            SetStatus(status, kStatusNotSent);
            return 0;
        }
        ConnectionGuard guard(*connection);
        if (!connection->IsOpen()) {
            SetStatus(status, kStatusNotSent);
            return 0;
        }
        return exchange(*connection) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

// What an export answers when a pointer it cannot do without is null: result 0 and status 0,
// before anything is sent.
inline int32_t RefuseNullPointer(int32_t* status) noexcept {
    SetStatus(status, kStatusNotSent);
    return 0;
}

}  // namespace carvex
