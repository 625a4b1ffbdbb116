#include "carvex/carvex.h"
#include "carvex/link/crc16.h"

namespace {

std::span<const uint8_t> Bytes(const uint8_t* data, int32_t length) {
    if (data == nullptr || length <= 0) {
        return {};
    }
    return {data, static_cast<size_t>(length)};
}

}  // namespace

extern "C" CARVEX_API uint32_t CARVEX_CALL CRCSlow(const uint8_t* data, int32_t length) {
    return carvex::CrcSlow(Bytes(data, length));
}

extern "C" CARVEX_API uint32_t CARVEX_CALL CRCFast(const uint8_t* data, int32_t length) {
    return carvex::CrcFast(Bytes(data, length));
}
