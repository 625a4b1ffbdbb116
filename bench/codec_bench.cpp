// Throughput of the CRCs and the frame codec beside memcpy and a plain byte-table CRC loop on the
// same buffers: the ratios are what count on a noisy machine.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "carvex/link/crc16.h"
#include "carvex/link/frame_codec.h"

namespace {

enum Fill { kRandom = 0, kAllFlags = 1 };

std::vector<uint8_t> MakeBuffer(size_t size, int fill) {
    std::vector<uint8_t> buffer(size, carvex::kFrameFlag);
    if (fill == kRandom) {
        std::mt19937 random(42);
        for (auto& b : buffer) {
            b = static_cast<uint8_t>(random());
        }
    }
    return buffer;
}

void SetBytes(benchmark::State& state, size_t size) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

void BM_Memcpy(benchmark::State& state) {
    const auto in = MakeBuffer(state.range(0), state.range(1));
    std::vector<uint8_t> out(in.size());
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), in.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, in.size());
}

// The reference: one table look-up per byte.
void BM_ByteTableLoop(benchmark::State& state) {
    const auto in = MakeBuffer(state.range(0), state.range(1));
    const uint16_t* table = carvex::CrcTable();
    for (auto _ : state) {
        uint16_t crc = 0xFFFF;
        for (uint8_t b : in) {
            crc = static_cast<uint16_t>(table[((crc >> 8) ^ b) & 0xFF] ^ (crc << 8));
        }
        benchmark::DoNotOptimize(crc);
    }
    SetBytes(state, in.size());
}

void BM_CrcSlow(benchmark::State& state) {
    const auto in = MakeBuffer(state.range(0), state.range(1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(carvex::CrcSlow(in));
    }
    SetBytes(state, in.size());
}

void BM_CrcFast(benchmark::State& state) {
    const auto in = MakeBuffer(state.range(0), state.range(1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(carvex::CrcFast(in));
    }
    SetBytes(state, in.size());
}

void BM_Fcs16(benchmark::State& state) {
    const auto in = MakeBuffer(state.range(0), state.range(1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(carvex::Fcs16(in));
    }
    SetBytes(state, in.size());
}

// A plain byte loop that stuffs, for comparison with the encoder on all-flag data.
void BM_PlainStuffingLoop(benchmark::State& state) {
    const auto in = MakeBuffer(state.range(0), state.range(1));
    std::vector<uint8_t> out(in.size() * 2 + 3);
    for (auto _ : state) {
        size_t n = 0;
        for (uint8_t b : in) {
            if (b == 0x7E || b == 0x7D) {
                out[n++] = 0x7D;
                out[n++] = b ^ 0x20;
            } else {
                out[n++] = b;
            }
        }
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    SetBytes(state, in.size());
}

void BM_EncodeFrame(benchmark::State& state) {
    const auto in = MakeBuffer(state.range(0), state.range(1));
    std::vector<uint8_t> out(in.size() * 2 + 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(carvex::EncodeFrame(in, 0x1234, out));
        benchmark::ClobberMemory();
    }
    SetBytes(state, in.size());
}

void BM_DecodeFrames(benchmark::State& state) {
    const auto body = MakeBuffer(state.range(0), state.range(1));
    // What arrives on the wire: the encoded frame (for all-flag data: a run of flags).
    std::vector<uint8_t> wire(body.size() * 2 + 3);
    if (state.range(1) == kAllFlags) {
        wire = body;
    } else {
        wire.resize(carvex::EncodeFrame(body, 0x1234, wire).value());
    }
    std::vector<uint8_t> frame(carvex::kFrameBufferSize);
    for (auto _ : state) {
        carvex::FrameDecoder decoder(frame);
        size_t at = 0;
        while (at < wire.size()) {
            size_t consumed = 0;
            decoder.Feed(std::span(wire).subspan(at), consumed);
            at += consumed;
        }
        benchmark::DoNotOptimize(decoder.FrameLength());
    }
    SetBytes(state, wire.size());
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({133, kRandom})->Args({64 << 10, kRandom})->Args({64 << 10, kAllFlags});
}

BENCHMARK(BM_Memcpy)->Apply(Sizes);
BENCHMARK(BM_ByteTableLoop)->Apply(Sizes);
BENCHMARK(BM_CrcSlow)->Apply(Sizes);
BENCHMARK(BM_CrcFast)->Apply(Sizes);
BENCHMARK(BM_Fcs16)->Apply(Sizes);
BENCHMARK(BM_PlainStuffingLoop)->Apply(Sizes);
BENCHMARK(BM_EncodeFrame)->Apply(Sizes);
BENCHMARK(BM_DecodeFrames)->Apply(Sizes);

}  // namespace
