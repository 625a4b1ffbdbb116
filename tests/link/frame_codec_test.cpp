#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "carvex/link/frame_codec.h"

namespace carvex {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encode(const Bytes& body, uint16_t fcs, size_t capacity = kFrameBufferSize) {
    Bytes out(capacity);
    const auto length = EncodeFrame(body, fcs, out);
    if (!length) {
        return {};
    }
    out.resize(*length);
    return out;
}

Bytes Sealed(Bytes body) {
    const uint16_t fcs = Fcs16(body);
    body.push_back(static_cast<uint8_t>(fcs & 0xFF));
    body.push_back(static_cast<uint8_t>(fcs >> 8));
    return body;
}

// Feeds the stream byte by byte and collects every decoder outcome.
struct Decoded {
    std::vector<Bytes> frames;
    int overflows = 0;
};

Decoded DecodeByteByByte(const Bytes& stream) {
    Bytes buffer(kFrameBufferSize);
    FrameDecoder decoder(buffer);
    Decoded result;
    for (uint8_t b : stream) {
        switch (decoder.Feed(b)) {
            case FrameDecoder::Result::kFrame:
                result.frames.emplace_back(decoder.Frame().begin(), decoder.Frame().end());
                break;
            case FrameDecoder::Result::kOverflow:
                ++result.overflows;
                break;
            case FrameDecoder::Result::kNeedMore:
                break;
        }
    }
    return result;
}

Decoded DecodeInChunks(const Bytes& stream, size_t chunk) {
    Bytes buffer(kFrameBufferSize);
    FrameDecoder decoder(buffer);
    Decoded result;
    size_t at = 0;
    while (at < stream.size()) {
        const size_t n = std::min(chunk, stream.size() - at);
        size_t consumed = 0;
        const auto r = decoder.Feed(std::span(stream).subspan(at, n), consumed);
        at += consumed;
        if (r == FrameDecoder::Result::kFrame) {
            result.frames.emplace_back(decoder.Frame().begin(), decoder.Frame().end());
        } else if (r == FrameDecoder::Result::kOverflow) {
            ++result.overflows;
        }
    }
    return result;
}

TEST(EncodeFrame, StuffsBodyAndAppendsFcsAndFlagWithoutOpeningFlag) {
    const Bytes body = {0x7E, 0x7D, 0x00};
    const uint16_t fcs = Fcs16(body);
    const Bytes frame = Encode(body, fcs);
    ASSERT_GE(frame.size(), 8u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 5), (Bytes{0x7D, 0x5E, 0x7D, 0x5D, 0x00}));
    EXPECT_EQ(frame.back(), 0x7E);
    EXPECT_EQ(DecodeByteByByte(frame).frames, std::vector<Bytes>{Sealed(body)});
}

TEST(EncodeFrame, FcsBytesAreStuffedLikeBodyBytes) {
    EXPECT_EQ(Encode({0x01}, 0x7D7E), (Bytes{0x01, 0x7D, 0x5E, 0x7D, 0x5D, 0x7E}));
    // Control characters and XON/XOFF go out as they are.
    EXPECT_EQ(Encode({0x11, 0x13, 0x00}, 0x0102), (Bytes{0x11, 0x13, 0x00, 0x02, 0x01, 0x7E}));
}

TEST(EncodeFrame, FrameMustFitTheTransmitBuffer) {
    // 66550 plain bytes plus FCS and flag fit; the stuffed frame of 66550 flags does not.
    EXPECT_EQ(Encode(Bytes(kMaxFrameBody, 0x41), 0x0000).size(), kMaxFrameBody + 3);
    EXPECT_TRUE(Encode(Bytes(kMaxFrameBody, 0x7E), 0x0000).empty());
    // Exactly at the edge: 66557 body bytes, FCS and flag make 66560.
    EXPECT_EQ(Encode(Bytes(kFrameBufferSize - 3, 0x41), 0).size(), kFrameBufferSize);
    EXPECT_TRUE(Encode(Bytes(kFrameBufferSize - 2, 0x41), 0).empty());
    // An FCS that needs stuffing pushes the frame one byte over.
    EXPECT_TRUE(Encode(Bytes(kFrameBufferSize - 3, 0x41), 0x007E).empty());
}

TEST(FrameDecoder, EdgeCases) {
    struct Case {
        const char* name;
        Bytes stream;
        std::vector<Bytes> frames;
    } cases[] = {
        {"leading and repeated flags", {0x7E, 0x7E, 0x7E, 0x01, 0x02, 0x7E}, {{0x01, 0x02}}},
        {"empty frames are skipped", {0x7E, 0x7E, 0x05, 0x7E, 0x7E}, {{0x05}}},
        {"escape pairs", {0x7D, 0x5E, 0x7D, 0x5D, 0x7E}, {{0x7E, 0x7D}}},
        {"decoded escape not paired again", {0x7D, 0x5D, 0x5E, 0x7E}, {{0x7D, 0x5E}}},
        {"unknown escape stays literal", {0x7D, 0x41, 0x7E}, {{0x7D, 0x41}}},
        {"double escape", {0x7D, 0x7D, 0x5E, 0x7E}, {{0x7D, 0x7E}}},
        {"escape re-pairs after a plain byte", {0x7D, 0x5D, 0x7D, 0x5E, 0x7E}, {{0x7D, 0x7E}}},
        {"bytes after a frame start the next", {0x01, 0x7E, 0x02, 0x7E}, {{0x01}, {0x02}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeByteByByte(c.stream).frames, c.frames) << c.name;
        for (size_t chunk : {1u, 2u, 3u, 64u}) {
            EXPECT_EQ(DecodeInChunks(c.stream, chunk).frames, c.frames) << c.name << " " << chunk;
        }
    }
}

TEST(FrameDecoder, LengthLimitExactlyAtAndOnePastTheEdge) {
    Bytes at_limit(kMaxFrameBody, 0x41);
    at_limit.push_back(0x7E);
    const auto ok = DecodeByteByByte(at_limit);
    ASSERT_EQ(ok.frames.size(), 1u);
    EXPECT_EQ(ok.frames[0].size(), kMaxFrameBody);
    EXPECT_EQ(ok.overflows, 0);

    // One byte more overflows; the rest of the long frame then counts as the next frame, and a
    // frame after it is still received.
    Bytes past(kMaxFrameBody + 1, 0x41);
    past.push_back(0x7E);
    past.insert(past.end(), {0x09, 0x08, 0x7E});
    for (const auto& decoded : {DecodeByteByByte(past), DecodeInChunks(past, 4096)}) {
        EXPECT_EQ(decoded.overflows, 1);
        ASSERT_EQ(decoded.frames.size(), 1u);
        EXPECT_EQ(decoded.frames[0], (Bytes{0x09, 0x08}));
    }
}

TEST(FrameDecoder, RoundTripWholeAndSplitAtEveryPosition) {
    std::mt19937 random(99);
    Bytes body(40);
    for (auto& b : body) {
        b = static_cast<uint8_t>(random() % 4 == 0 ? 0x7D + random() % 2 : random());
    }
    const Bytes frame = Encode(body, Fcs16(body));
    for (size_t split = 0; split <= frame.size(); ++split) {
        Bytes buffer(kFrameBufferSize);
        FrameDecoder decoder(buffer);
        size_t consumed = 0;
        auto r = decoder.Feed(std::span(frame).first(split), consumed);
        if (r != FrameDecoder::Result::kFrame) {
            ASSERT_EQ(consumed, split);
            r = decoder.Feed(std::span(frame).subspan(split), consumed);
        }
        ASSERT_EQ(r, FrameDecoder::Result::kFrame) << split;
        ASSERT_EQ(Bytes(decoder.Frame().begin(), decoder.Frame().end()), Sealed(body)) << split;
    }
}

TEST(FrameDecoder, ChunkedEqualsByteByByteOnRandomStreams) {
    std::mt19937 random(1234);
    for (int round = 0; round < 200; ++round) {
        Bytes stream(random() % 3000);
        for (auto& b : stream) {
            const unsigned pick = random() % 16;
            b = pick == 0   ? 0x7E
                : pick == 1 ? 0x7D
                : pick == 2 ? 0x5E
                : pick == 3 ? 0x5D
                            : static_cast<uint8_t>(random());
        }
        const auto expected = DecodeByteByByte(stream);
        const auto chunked = DecodeInChunks(stream, 1 + random() % 200);
        ASSERT_EQ(chunked.frames, expected.frames) << round;
        ASSERT_EQ(chunked.overflows, expected.overflows) << round;
    }
}

}  // namespace
}  // namespace carvex
