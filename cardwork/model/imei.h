#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace cardwright {

// The identity digits of NV item 550: byte 0 counts the identity bytes that follow (at most 8);
// the low half of byte 1 is the identity type; then come the high half of byte 1 and, for each
// following byte, its low half then its high half. A half above 9 ends the digits.
std::string DecodeImei(std::span<const uint8_t> bytes);

}  // namespace cardwright
