#include "carvex/link/crc16.h"

#include <array>
#include <cstring>

namespace carvex {

namespace {

constexpr uint16_t kPolynomial = 0x1021;
constexpr int kSlices = 16;

constexpr uint16_t Step(uint16_t crc) {
    for (int bit = 0; bit < 8; ++bit) {
        crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ kPolynomial)
                             : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

// Table k gives the CRC contribution of a byte followed by k zero bytes, so sixteen bytes fold
// in with sixteen independent look-ups.
constexpr auto MakeTables() {
    std::array<std::array<uint16_t, 256>, kSlices> tables{};
    for (unsigned i = 0; i < 256; ++i) {
        tables[0][i] = Step(static_cast<uint16_t>(i << 8));
    }
    for (int k = 1; k < kSlices; ++k) {
        for (unsigned i = 0; i < 256; ++i) {
            const uint16_t previous = tables[k - 1][i];
            tables[k][i] = static_cast<uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
        }
    }
    return tables;
}

constexpr auto kTables = MakeTables();
static_assert(kTables[0][1] == 0x1021 && kTables[0][255] == 0x1EF0);

}  // namespace

const uint16_t* CrcTable() {
    return kTables[0].data();
}

uint16_t CrcSlow(std::span<const uint8_t> data) {
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : data) {
        crc ^= static_cast<uint16_t>(byte << 8);
        crc = Step(crc);
    }
    return crc;
}

uint16_t CrcFast(std::span<const uint8_t> data) {
    uint32_t crc = 0xFFFF;
    const uint8_t* p = data.data();
    size_t n = data.size();
    while (n >= kSlices) {
        // The running CRC folds into the first two bytes of the block.
        const uint32_t a = crc ^ ((uint32_t{p[0]} << 8) | p[1]);
        crc = kTables[15][a >> 8] ^ kTables[14][a & 0xFF] ^ kTables[13][p[2]] ^ kTables[12][p[3]] ^
              kTables[11][p[4]] ^ kTables[10][p[5]] ^ kTables[9][p[6]] ^ kTables[8][p[7]] ^
              kTables[7][p[8]] ^ kTables[6][p[9]] ^ kTables[5][p[10]] ^ kTables[4][p[11]] ^
              kTables[3][p[12]] ^ kTables[2][p[13]] ^ kTables[1][p[14]] ^ kTables[0][p[15]];
        p += kSlices;
        n -= kSlices;
    }
    while (n-- > 0) {
        crc = kTables[0][((crc >> 8) ^ *p++) & 0xFF] ^ ((crc << 8) & 0xFFFF);
    }
    return static_cast<uint16_t>(crc);
}

}  // namespace carvex
