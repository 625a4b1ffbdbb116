#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "carvex/link/little_endian.h"

namespace carvex {

// The request and reply of the NV read (38) and write (39) commands, little-endian:
// command at 0, item number at 1, 128 data bytes at 3, NV status at 131.
class NvItemPacket {
  public:
    static constexpr size_t kSize = 133;
    static constexpr size_t kDataSize = 128;
    static constexpr uint8_t kRead = 0x26;
    static constexpr uint8_t kWrite = 0x27;
    static constexpr size_t kStatusOffset = 131;

    NvItemPacket() = default;
    NvItemPacket(uint8_t command, uint16_t item) {
        bytes_[0] = command;
        PutLe16(bytes_, 1, item);
    }

    uint8_t Command() const { return bytes_[0]; }
    uint16_t Item() const { return GetLe16(bytes_, 1); }
    uint16_t Status() const { return GetLe16(bytes_, kStatusOffset); }

    std::span<uint8_t, kDataSize> Data() { return std::span(bytes_).subspan<3, kDataSize>(); }
    std::span<const uint8_t, kDataSize> Data() const {
        return std::span(bytes_).subspan<3, kDataSize>();
    }

    std::span<uint8_t, kSize> Bytes() { return bytes_; }
    std::span<const uint8_t, kSize> Bytes() const { return bytes_; }

    // Command, item number and data go; the status field keeps its value.
    void ClearAllButStatus() { std::fill(bytes_.begin(), bytes_.begin() + kStatusOffset, 0); }

  private:
    std::array<uint8_t, kSize> bytes_{};
};

}  // namespace carvex
