#include "cardwork/batch/card_record.h"

#include <array>
#include <cstdio>

#include "carvex/platform/system_random.h"

namespace cardwright {

bool PortSettingChange::Differs() const {
    // The card keeps one byte of each.
    return !before || (before->state & 0xFF) != (after.state & 0xFF) ||
           (before->mask & 0xFF) != (after.mask & 0xFF);
}

std::string MismatchesText(const CardRecord& card) {
    std::string text;
    for (const std::string& item : card.mismatches) {
        text += (text.empty() ? "" : " ") + item;
    }
    return text;
}

std::string NewUuid() {
    // From the system's random source: records made at one moment by several processes or
    // stations never share one.
    std::array<uint8_t, 16> bytes{};
    carvex::FillRandom(bytes);
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
