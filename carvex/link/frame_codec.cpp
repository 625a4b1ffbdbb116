#include "carvex/link/frame_codec.h"

#include <array>
#include <cstring>

namespace carvex {

namespace {

constexpr uint16_t kFcsPolynomial = 0x8408;
constexpr int kSlices = 16;

constexpr auto MakeFcsTables() {
    std::array<std::array<uint16_t, 256>, kSlices> tables{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ kFcsPolynomial)
                            : static_cast<uint16_t>(crc >> 1);
        }
        tables[0][i] = crc;
    }
    for (int k = 1; k < kSlices; ++k) {
        for (unsigned i = 0; i < 256; ++i) {
            const uint16_t previous = tables[k - 1][i];
            tables[k][i] = static_cast<uint16_t>((previous >> 8) ^ tables[0][previous & 0xFF]);
        }
    }
    return tables;
}

constexpr auto kFcsTables = MakeFcsTables();
static_assert(kFcsTables[0][1] == 0x1189 && kFcsTables[0][2] == 0x2312 &&
              kFcsTables[0][128] == 0x8408);

constexpr bool IsSpecial(uint8_t byte) {
    return byte == kFrameFlag || byte == kFrameEscape;
}

uint64_t Load64(const uint8_t* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Index of the first 0x7E or 0x7D in [p, p + n), or n. Eight bytes are screened at a time.
size_t FindSpecial(const uint8_t* p, size_t n) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    size_t i = 0;
    while (i + 8 <= n) {
        const uint64_t word = Load64(p + i);
        const uint64_t flags = word ^ (kOnes * kFrameFlag);
        const uint64_t escapes = word ^ (kOnes * kFrameEscape);
        const uint64_t zero_bytes = ((flags - kOnes) & ~flags) | ((escapes - kOnes) & ~escapes);
        if (zero_bytes & kHighs) {
            break;
        }
        i += 8;
    }
    while (i < n && !IsSpecial(p[i])) {
        ++i;
    }
    return i;
}

}  // namespace

const uint16_t* Fcs16Table() {
    return kFcsTables[0].data();
}

uint16_t Fcs16(std::span<const uint8_t> data) {
    uint32_t crc = 0xFFFF;
    const uint8_t* p = data.data();
    size_t n = data.size();
    while (n >= kSlices) {
        const uint32_t a = crc ^ (p[0] | (uint32_t{p[1]} << 8));
        crc = kFcsTables[15][a & 0xFF] ^ kFcsTables[14][a >> 8] ^ kFcsTables[13][p[2]] ^
              kFcsTables[12][p[3]] ^ kFcsTables[11][p[4]] ^ kFcsTables[10][p[5]] ^
              kFcsTables[9][p[6]] ^ kFcsTables[8][p[7]] ^ kFcsTables[7][p[8]] ^
              kFcsTables[6][p[9]] ^ kFcsTables[5][p[10]] ^ kFcsTables[4][p[11]] ^
              kFcsTables[3][p[12]] ^ kFcsTables[2][p[13]] ^ kFcsTables[1][p[14]] ^
              kFcsTables[0][p[15]];
        p += kSlices;
        n -= kSlices;
    }
    while (n-- > 0) {
        crc = (crc >> 8) ^ kFcsTables[0][(crc ^ *p++) & 0xFF];
    }
    return static_cast<uint16_t>(~crc);
}

std::optional<size_t> EncodeFrame(std::span<const uint8_t> body, uint16_t fcs,
                                  std::span<uint8_t> out) {
    uint8_t* const begin = out.data();
    uint8_t* const end = begin + out.size();
    uint8_t* position = begin;

    auto put_stuffed = [&](uint8_t byte) {
        if (IsSpecial(byte)) {
            if (end - position < 2) {
                return false;
            }
            *position++ = kFrameEscape;
            *position++ = static_cast<uint8_t>(byte ^ 0x20);
        } else {
            if (position == end) {
                return false;
            }
            *position++ = byte;
        }
        return true;
    };

    const uint8_t* in = body.data();
    const uint8_t* const in_end = in + body.size();
    while (in < in_end) {
        const size_t run = FindSpecial(in, static_cast<size_t>(in_end - in));
        if (run > static_cast<size_t>(end - position)) {
            return std::nullopt;
        }
        std::memcpy(position, in, run);
        position += run;
        in += run;
        // Specials tend to come in runs (a buffer of flags): stuff them here, not one per scan.
        while (in < in_end && IsSpecial(*in)) {
            if (end - position < 2) {
                return std::nullopt;
            }
            *position++ = kFrameEscape;
            *position++ = static_cast<uint8_t>(*in++ ^ 0x20);
        }
    }
    if (!put_stuffed(static_cast<uint8_t>(fcs & 0xFF)) ||
        !put_stuffed(static_cast<uint8_t>(fcs >> 8)) || position == end) {
        return std::nullopt;
    }
    *position++ = kFrameFlag;
    return static_cast<size_t>(position - begin);
}

void FrameDecoder::Reset() {
    count_ = 0;
    pair_check_ = true;
}

FrameDecoder::Result FrameDecoder::Feed(uint8_t byte) {
    if (byte == kFrameFlag) {
        if (count_ == 0) {
            return Result::kNeedMore;  // opening or repeated flag
        }
        frame_length_ = count_;
        Reset();
        return Result::kFrame;
    }
    if (count_ >= kMaxFrameBody) {
        frame_length_ = 0;
        Reset();
        return Result::kOverflow;
    }
    frame_[count_] = byte;
    if (count_ > 0) {
        if (pair_check_ && frame_[count_ - 1] == kFrameEscape) {
            if (byte == 0x5E || byte == 0x5D) {
                --count_;
                frame_[count_] = static_cast<uint8_t>(byte ^ 0x20);
                pair_check_ = false;
            }
        } else if (!pair_check_) {
            pair_check_ = true;
        }
    }
    ++count_;
    return Result::kNeedMore;
}

FrameDecoder::Result FrameDecoder::Feed(std::span<const uint8_t> bytes, size_t& consumed) {
    const uint8_t* in = bytes.data();
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        if (count_ == 0) {
            while (i < n && in[i] == kFrameFlag) {
                ++i;  // opening or repeated flags
            }
            if (i == n) {
                break;
            }
        }
        // Plain bytes after a plain byte need no pairing: copy them as a run.
        const bool plain_state = pair_check_ && (count_ == 0 || frame_[count_ - 1] != kFrameEscape);
        if (plain_state && !IsSpecial(in[i]) && count_ < kMaxFrameBody) {
            size_t run = FindSpecial(in + i, n - i);
            if (run > kMaxFrameBody - count_) {
                run = kMaxFrameBody - count_;
            }
            std::memcpy(frame_.data() + count_, in + i, run);
            count_ += run;
            i += run;
            continue;
        }
        const Result result = Feed(in[i++]);
        if (result != Result::kNeedMore) {
            consumed = i;
            return result;
        }
    }
    consumed = n;
    return Result::kNeedMore;
}

}  // namespace carvex
