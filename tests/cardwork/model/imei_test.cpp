#include <gtest/gtest.h>

#include <vector>

#include "cardwork/model/imei.h"

namespace cardwright {
namespace {

TEST(DecodeImei, Cases) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* digits;
    } cases[] = {
        {"two identity bytes", {0x02, 0x3A, 0x21}, "312"},
        {"full IMEI", {0x08, 0x3A, 0x65, 0x87, 0x09, 0x21, 0x43, 0x65, 0x87}, "356789012345678"},
        {"more than eight bytes", {0x09, 0x3A, 0x65}, ""},
        {"fewer bytes counted", {0x03, 0x3A, 0x65, 0x87, 0x09}, "35678"},
        {"filler half ends the digits", {0x08, 0x3A, 0x65, 0xF7, 0x09}, "3567"},
        {"filler right after the first digit", {0x02, 0x3A, 0xF1}, "31"},
        {"only the type byte", {0x01, 0x4A}, "4"},
        {"too short", {0x08}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeImei(c.bytes), c.digits) << c.name;
    }
}

}  // namespace
}  // namespace cardwright
