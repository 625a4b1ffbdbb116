#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace carvex {

// What a request puts in front of its payload, and so what its response starts with.
struct DiagRequestHeader {
    enum Kind : uint8_t { kCommand = 0, kSubCommand = 1, kSubsystem = 2 };

    uint8_t kind = kCommand;
    uint8_t cmd = 0;
    uint8_t sub = 0;
    uint8_t subsys = 0;
    uint16_t code = 0;

    static constexpr DiagRequestHeader Command(uint8_t cmd) { return {kCommand, cmd, 0, 0, 0}; }
    static constexpr DiagRequestHeader Subsystem(uint8_t cmd, uint8_t subsys, uint16_t code) {
        return {kSubsystem, cmd, 0, subsys, code};
    }

    // 1, 2 or 4 header bytes on the wire.
    size_t Length() const;
    // Writes Length() bytes into `out` (which holds at least 4).
    void Write(std::span<uint8_t> out) const;

    friend bool operator==(const DiagRequestHeader&, const DiagRequestHeader&) = default;
};

// Recognises a response by its leading bytes: bits 0-7 the command byte, bits 8-15 the second
// byte (0xFF: any), bits 16-31 bytes 2 and 3 little-endian (0xFFFF: any). The reply to an NV
// read or write is recognised by its command byte and the item number it echoes in bytes 1 and
// 2, so that the reply for one item never answers the request for another.
class ResponseKey {
  public:
    static constexpr uint8_t kAnyByte = 0xFF;
    static constexpr uint16_t kAnyCode = 0xFFFF;

    constexpr explicit ResponseKey(uint32_t value) : value_(value) {}
    static constexpr ResponseKey Of(uint8_t cmd, uint8_t second = kAnyByte,
                                    uint16_t code = kAnyCode) {
        return ResponseKey(cmd | (uint32_t{second} << 8) | (uint32_t{code} << 16));
    }
    static ResponseKey For(const DiagRequestHeader& header);
    static constexpr ResponseKey NvItem(uint8_t cmd, uint16_t item) {
        ResponseKey key = Of(cmd);
        key.item_ = item;
        return key;
    }
    // Any reply of `cmd` but one whose second byte is `other`: where a reply may echo what it
    // answers (mode control echoes its mode), the echo of another request of the command.
    static constexpr ResponseKey Except(uint8_t cmd, uint8_t other) {
        ResponseKey key = Of(cmd);
        key.other_second_ = other;
        return key;
    }

    bool Matches(std::span<const uint8_t> packet) const;

    friend bool operator==(const ResponseKey&, const ResponseKey&) = default;

  private:
    uint32_t value_;
    std::optional<uint16_t> item_;
    std::optional<uint8_t> other_second_;
};

}  // namespace carvex
