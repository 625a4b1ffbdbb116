#include "cardwork/records/record_uuid.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "carvex/platform/system_random.h"

namespace cardwright {

namespace {

constexpr std::array<size_t, 4> kDashes = {8, 13, 18, 23};
constexpr size_t kUuidLength = 36;
constexpr size_t kVersionAt = 14;
constexpr size_t kVariantAt = 19;

bool DashAt(size_t at) {
    return std::find(kDashes.begin(), kDashes.end(), at) != kDashes.end();
}

}  // namespace

std::string NewRecordUuid() {
    std::array<uint8_t, 16> bytes{};
    carvex::FillRandom(bytes);
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the variant of RFC 9562
    constexpr std::string_view kHex = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : bytes) {
        if (DashAt(text.size())) {
            text += '-';
        }
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

bool IsRecordUuid(std::string_view text) {
    if (text.size() != kUuidLength) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (DashAt(i) ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    const char variant = text[kVariantAt];
    return text[kVersionAt] == '4' &&
           (variant == '8' || variant == '9' || variant == 'a' || variant == 'b');
}

}  // namespace cardwright
