#pragma once

#include <cstdint>

#include "carvex/carvex.h"

namespace carvex {

// What an exchange reports through its status argument when it fails.
enum RequestStatus : int32_t {
    kStatusNotSent = CARVEX_STATUS_NOT_SENT,
    kStatusNoReply = CARVEX_STATUS_NO_REPLY,
    kStatusNvFailed = CARVEX_STATUS_NV_FAILED,
    kStatusReadOnly = CARVEX_STATUS_READ_ONLY,
    kStatusInactive = CARVEX_STATUS_INACTIVE,
    kStatusBadParameter = CARVEX_STATUS_BAD_PARAMETER,
    kStatusNvFull = CARVEX_STATUS_NV_FULL,
    kStatusNoMemory = CARVEX_STATUS_NO_MEMORY,
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
