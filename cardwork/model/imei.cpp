#include "cardwork/model/imei.h"

namespace cardwright {

namespace {
constexpr size_t kMaxDigits = 15;
constexpr uint8_t kMaxIdentityBytes = 8;
}  // namespace

std::string DecodeImei(std::span<const uint8_t> bytes) {
    if (bytes.size() < 2 || bytes[0] > kMaxIdentityBytes) {
        return {};
    }
    const size_t count = bytes[0];
    std::string digits(1, static_cast<char>('0' + (bytes[1] >> 4)));
    for (size_t i = 2; i <= count && i < bytes.size(); ++i) {
        for (uint8_t half :
             {static_cast<uint8_t>(bytes[i] & 0x0F), static_cast<uint8_t>(bytes[i] >> 4)}) {
            if (half > 9 || digits.size() == kMaxDigits) {
                return digits;
            }
            digits.push_back(static_cast<char>('0' + half));
        }
    }
    return digits;
}

}  // namespace cardwright
