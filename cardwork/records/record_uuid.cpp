#include "cardwork/records/record_uuid.h"

#include <algorithm>
#include <array>

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
