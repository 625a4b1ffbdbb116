#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cardsim/card_profile.h"

namespace cardsim {

// The NV item that holds the card's IMEI: a length byte (8), the first digit in the high half of
// the next byte (its low half is the identity type, 0xA), then two digits a byte, low half first.
inline constexpr uint16_t kImeiItem = 550;

// The 15 digits of an IMEI item; nullopt when the item holds no IMEI.
std::optional<std::string> DecodeImei(const NvValue& value);
// The item for 15 digits.
NvValue EncodeImei(std::string_view digits);

// The Luhn check digit of the first 14 digits of an IMEI.
char ImeiCheckDigit(std::string_view first_fourteen);

// The card's IMEI, from its profile's IMEI item.
std::optional<std::string> ProfileImei(const CardProfile& profile);

// The ESN the card reports: the profile's, or else a pseudo ESN made of the manufacturer code
// 0x80 and the IMEI's six-digit serial number (0 without an IMEI).
uint32_t ProfileEsn(const CardProfile& profile);

}  // namespace cardsim
