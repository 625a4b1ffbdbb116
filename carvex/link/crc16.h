#pragma once

#include <cstdint>
#include <span>

namespace carvex {

// The CRC-16 that protects setting files: polynomial 0x1021, initial value 0xFFFF, most
// significant bit first, no final XOR ("123456789" gives 0x29B1). Not the frame check sequence.
uint16_t CrcSlow(std::span<const uint8_t> data);
uint16_t CrcFast(std::span<const uint8_t> data);

// The byte-at-a-time table of CrcFast: entry i is the CRC step started from i << 8.
const uint16_t* CrcTable();

}  // namespace carvex
