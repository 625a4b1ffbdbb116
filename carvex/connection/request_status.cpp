#include "carvex/connection/request_status.h"

namespace carvex {

int32_t RequestStatusForNv(uint16_t nv_status) {
    switch (nv_status) {
        case 3:
            return kStatusNvFull;
        case 5:
            return kStatusInactive;
        case 6:
            return kStatusBadParameter;
        case 7:
            return kStatusReadOnly;
        case 9:
            return kStatusNoMemory;
        default:
            return kStatusNvFailed;
    }
}

}  // namespace carvex
