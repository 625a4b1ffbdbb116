#pragma once

#include <cstdint>

namespace carvex {

// What an exchange reports through its status argument when it fails.
enum RequestStatus : int32_t {
    kStatusNotSent = 0,
    kStatusNoReply = 1,
    kStatusNvFailed = 3,
    kStatusReadOnly = 4,
    kStatusInactive = 5,
    kStatusBadParameter = 6,
    kStatusNvFull = 7,
    kStatusNoMemory = 8,
};

// The card's NV status turned into a request status.
int32_t RequestStatusForNv(uint16_t nv_status);

// Writes a request status where the caller gave somewhere to write it.
inline void SetStatus(int32_t* status, int32_t value) {
    if (status != nullptr) {
        *status = value;
    }
}

}  // namespace carvex
