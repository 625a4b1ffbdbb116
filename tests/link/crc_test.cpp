#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

#include "carvex/carvex.h"
#include "carvex/link/crc16.h"
#include "carvex/link/frame_codec.h"

namespace carvex {
namespace {

std::span<const uint8_t> Ascii(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(SettingFileCrc, KnownAnswers) {
    struct Case {
        std::string_view text;
        uint32_t crc;
    } cases[] = {{"123456789", 0x29B1}, {"abc", 0x514A}, {"", 0xFFFF}, {"A", 0xB915}};
    for (const auto& c : cases) {
        const auto bytes = Ascii(c.text);
        const int32_t length = static_cast<int32_t>(bytes.size());
        EXPECT_EQ(CRCSlow(bytes.data(), length), c.crc) << c.text;
        EXPECT_EQ(CRCFast(bytes.data(), length), c.crc) << c.text;
    }
}

TEST(SettingFileCrc, NonPositiveLengthGivesInitialValue) {
    const uint8_t byte = 0x31;
    EXPECT_EQ(CRCSlow(&byte, 0), 0xFFFFu);
    EXPECT_EQ(CRCFast(&byte, 0), 0xFFFFu);
    EXPECT_EQ(CRCSlow(&byte, -5), 0xFFFFu);
    EXPECT_EQ(CRCFast(&byte, -5), 0xFFFFu);
    EXPECT_EQ(CRCFast(nullptr, 10), 0xFFFFu);
}

TEST(SettingFileCrc, TableEntries) {
    EXPECT_EQ(CrcTable()[1], 0x1021);
    EXPECT_EQ(CrcTable()[255], 0x1EF0);
}

TEST(SettingFileCrc, FastEqualsSlowOnRandomBuffersAndUnalignedStarts) {
    std::mt19937 random(20261207);
    std::vector<uint8_t> buffer(70000);
    for (auto& b : buffer) {
        b = static_cast<uint8_t>(random());
    }
    for (int round = 0; round < 400; ++round) {
        const size_t start = random() % 64;
        const size_t length = round < 100 ? round : random() % (buffer.size() - start);
        const std::span<const uint8_t> data(buffer.data() + start, length);
        ASSERT_EQ(CrcFast(data), CrcSlow(data)) << "start " << start << " length " << length;
    }
}

TEST(FrameCheckSequence, KnownAnswersAndResidue) {
    EXPECT_EQ(Fcs16(Ascii("123456789")), 0x906E);
    EXPECT_EQ(Fcs16Table()[1], 0x1189);
    EXPECT_EQ(Fcs16Table()[2], 0x2312);
    EXPECT_EQ(Fcs16Table()[128], 0x8408);
    const std::vector<uint8_t> sealed = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x6E, 0x90};
    EXPECT_EQ(Fcs16(sealed), kFcsGoodResidue);
}

// The sliced computation must agree with the byte-at-a-time definition everywhere.
TEST(FrameCheckSequence, SlicedEqualsByteAtATime) {
    auto reference = [](std::span<const uint8_t> data) {
        uint16_t crc = 0xFFFF;
        for (uint8_t b : data) {
            crc = static_cast<uint16_t>((crc >> 8) ^ Fcs16Table()[(crc ^ b) & 0xFF]);
        }
        return static_cast<uint16_t>(~crc);
    };
    std::mt19937 random(7);
    std::vector<uint8_t> buffer(5000);
    for (auto& b : buffer) {
        b = static_cast<uint8_t>(random());
    }
    for (size_t length = 0; length < 300; ++length) {
        const size_t start = length % 13;
        const std::span<const uint8_t> data(buffer.data() + start, length);
        ASSERT_EQ(Fcs16(data), reference(data)) << length;
    }
    // Any body followed by its own FCS leaves the residue.
    for (size_t length = 1; length < 200; length += 7) {
        std::vector<uint8_t> body(buffer.begin(), buffer.begin() + static_cast<long>(length));
        const uint16_t fcs = Fcs16(body);
        body.push_back(static_cast<uint8_t>(fcs & 0xFF));
        body.push_back(static_cast<uint8_t>(fcs >> 8));
        ASSERT_EQ(Fcs16(body), kFcsGoodResidue);
    }
}

}  // namespace
}  // namespace carvex
