// libFuzzer target: the run-copying decoder must give what the byte-at-a-time decoder gives, and
// every body must come back from its own frame.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "carvex/link/frame_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using carvex::FrameDecoder;
    std::vector<uint8_t> one(carvex::kFrameBufferSize);
    std::vector<uint8_t> many(carvex::kFrameBufferSize);
    FrameDecoder single(one);
    FrameDecoder chunked(many);

    const std::span<const uint8_t> input(data, size);
    size_t at = 0;
    size_t chunk = size > 0 ? (data[0] % 17) + 1 : 1;
    while (at < size) {
        size_t consumed = 0;
        const auto n = std::min(chunk, size - at);
        const auto result = chunked.Feed(input.subspan(at, n), consumed);
        for (size_t i = 0; i < consumed; ++i) {
            const auto expected = single.Feed(data[at + i]);
            if (i + 1 < consumed && expected != FrameDecoder::Result::kNeedMore) {
                std::abort();
            }
            if (i + 1 == consumed && expected != result) {
                std::abort();
            }
        }
        if (result == FrameDecoder::Result::kFrame &&
            !std::equal(single.Frame().begin(), single.Frame().end(), chunked.Frame().begin(),
                        chunked.Frame().end())) {
            std::abort();
        }
        at += consumed;
    }

    if (size <= carvex::kMaxFrameBody) {
        std::vector<uint8_t> wire(size * 2 + 8);
        const auto length = carvex::EncodeFrame(input, carvex::Fcs16(input), wire);
        if (!length) {
            std::abort();
        }
        std::vector<uint8_t> frame(carvex::kFrameBufferSize);
        FrameDecoder decoder(frame);
        size_t consumed = 0;
        const auto result = decoder.Feed(std::span(wire).first(*length), consumed);
        if (size > 0 && (result != FrameDecoder::Result::kFrame ||
                         carvex::Fcs16(decoder.Frame()) != carvex::kFcsGoodResidue)) {
            std::abort();
        }
    }
    return 0;
}
