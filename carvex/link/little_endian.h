#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace carvex {

// The card's wire layouts are little-endian; these read and write a 16- or 32-bit value at a
// byte offset, so a layout stays visible in the code without packed structs.
inline uint16_t GetLe16(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline uint32_t GetLe32(std::span<const uint8_t> bytes, size_t at) {
    return bytes[at] | (uint32_t{bytes[at + 1]} << 8) | (uint32_t{bytes[at + 2]} << 16) |
           (uint32_t{bytes[at + 3]} << 24);
}

inline void PutLe16(std::span<uint8_t> bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void PutLe32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace carvex
