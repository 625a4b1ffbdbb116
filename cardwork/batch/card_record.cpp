#include "cardwork/batch/card_record.h"

#include <array>
#include <cstdio>
#include <random>

namespace cardwright {

bool PortSettingChange::Differs() const {
    // The card keeps one byte of each.
    return !before || (before->state & 0xFF) != (after.state & 0xFF) ||
           (before->mask & 0xFF) != (after.mask & 0xFF);
}

std::string NewUuid() {
    // A generator of each thread's own, seeded once from the system's entropy source.
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    std::array<uint8_t, 16> bytes{};
    for (size_t i = 0; i < bytes.size(); i += 8) {
        uint64_t word = generator();
        for (size_t k = 0; k < 8; ++k, word >>= 8) {
            bytes[i + k] = static_cast<uint8_t>(word);
        }
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        text += digits;
    }
    return text;
}

}  // namespace cardwright
