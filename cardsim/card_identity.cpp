#include "cardsim/card_identity.h"

#include <stdexcept>

namespace cardsim {

namespace {

constexpr size_t kImeiDigits = 15;
constexpr uint8_t kImeiLength = 8;
constexpr uint8_t kImeiType = 0xA;
constexpr uint32_t kPseudoEsnManufacturer = 0x80000000;
constexpr size_t kSerialAt = 8;  // after the eight-digit type allocation code
constexpr size_t kSerialDigits = 6;

bool AllDigits(std::string_view text) {
    return text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::optional<std::string> DecodeImei(const NvValue& value) {
    if (value[0] != kImeiLength || (value[1] & 0x0F) != kImeiType) {
        return std::nullopt;
    }
    std::string digits(1, static_cast<char>('0' + (value[1] >> 4)));
    for (size_t at = 2; at < 2 + 7; ++at) {
        digits += static_cast<char>('0' + (value[at] & 0x0F));
        digits += static_cast<char>('0' + (value[at] >> 4));
    }
    if (!AllDigits(digits)) {
        return std::nullopt;
    }
    return digits;
}

NvValue EncodeImei(std::string_view digits) {
    if (digits.size() != kImeiDigits || !AllDigits(digits)) {
        throw std::invalid_argument("an IMEI has 15 digits");
    }
    const auto digit = [&](size_t i) { return static_cast<uint8_t>(digits[i] - '0'); };
    NvValue value{};
    value[0] = kImeiLength;
    value[1] = static_cast<uint8_t>((digit(0) << 4) | kImeiType);
    for (size_t at = 2; at < 2 + 7; ++at) {
        const size_t first = 1 + 2 * (at - 2);
        value[at] = static_cast<uint8_t>(digit(first) | (digit(first + 1) << 4));
    }
    return value;
}

char ImeiCheckDigit(std::string_view first_fourteen) {
    int sum = 0;
    for (size_t i = 0; i < first_fourteen.size(); ++i) {
        int d = first_fourteen[i] - '0';
        if (i % 2 == 1) {  // every second digit from the left is doubled
            d *= 2;
            d = d > 9 ? d - 9 : d;
        }
        sum += d;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::optional<std::string> ProfileImei(const CardProfile& profile) {
    const auto item = profile.nv.find(kImeiItem);
    return item == profile.nv.end() ? std::nullopt : DecodeImei(item->second);
}

uint32_t ProfileEsn(const CardProfile& profile) {
    if (profile.tool_replies.esn) {
        return *profile.tool_replies.esn;
    }
    const auto imei = ProfileImei(profile);
    if (!imei) {
        return 0;
    }
    return kPseudoEsnManufacturer |
           static_cast<uint32_t>(std::stoul(imei->substr(kSerialAt, kSerialDigits)));
}

}  // namespace cardsim
