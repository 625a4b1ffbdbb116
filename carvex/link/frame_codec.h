#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace carvex {

// HDLC-like framing of DIAG packets: 0x7E and 0x7D are sent as 0x7D 0x5E and 0x7D 0x5D, the
// two FCS bytes follow the body (low byte first), and a 0x7E closes the frame. No byte here
// touches a port: the link feeds these functions.

constexpr uint8_t kFrameFlag = 0x7E;
constexpr uint8_t kFrameEscape = 0x7D;
constexpr size_t kMaxFrameBody = 66550;       // largest body, and largest unstuffed frame
constexpr size_t kFrameBufferSize = 66560;    // transmit and receive frame buffers
constexpr uint16_t kFcsGoodResidue = 0x0F47;  // Fcs16 over a body followed by its own FCS

// CRC-16 with the reflected polynomial 0x8408, initial 0xFFFF, complemented ("123456789" gives
// 0x906E).
uint16_t Fcs16(std::span<const uint8_t> data);

// The byte-at-a-time table behind Fcs16 (entry 1 is 0x1189, entry 128 is 0x8408).
const uint16_t* Fcs16Table();

// Writes body, FCS and closing flag stuffed into `out`; the frame length, or nullopt when the
// frame does not fit in `out`.
std::optional<size_t> EncodeFrame(std::span<const uint8_t> body, uint16_t fcs,
                                  std::span<uint8_t> out);

// Collects one frame at a time from received bytes: flags before a frame are skipped, escape
// pairs are undone (a decoded 0x7D never pairs with the byte after it), and a frame that grows
// past kMaxFrameBody bytes is reported and dropped.
class FrameDecoder {
  public:
    enum class Result { kNeedMore, kFrame, kOverflow };

    explicit FrameDecoder(std::span<uint8_t> frame_buffer) : frame_(frame_buffer) {}

    // Takes one received byte.
    Result Feed(uint8_t byte);

    // Takes bytes until a frame ends or overflows; `consumed` tells how many were taken. Gives
    // exactly what feeding them one by one gives.
    Result Feed(std::span<const uint8_t> bytes, size_t& consumed);

    // Bytes of the frame just completed (FCS included); valid after kFrame until the next Feed.
    size_t FrameLength() const { return frame_length_; }
    std::span<const uint8_t> Frame() const { return frame_.first(frame_length_); }

    void Reset();

  private:
    std::span<uint8_t> frame_;
    size_t count_ = 0;
    size_t frame_length_ = 0;
    bool pair_check_ = true;
};

}  // namespace carvex
