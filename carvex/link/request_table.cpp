#include "carvex/link/request_table.h"

#include <algorithm>
#include <array>
#include <span>

namespace carvex {

namespace {

struct Row {
    uint32_t id;
    DiagRequestHeader header;
};

constexpr DiagRequestHeader Cmd(uint8_t cmd) {
    return DiagRequestHeader::Command(cmd);
}
constexpr DiagRequestHeader Sub(uint8_t cmd, uint8_t sub) {
    return {DiagRequestHeader::kSubCommand, cmd, sub, 0, 0};
}

constexpr std::array<Row, 20> kTableA{{
    {90001, Cmd(0x26)},
    {90002, Cmd(0x27)},
    {90003, Cmd(0x41)},
    {90004, Cmd(0x48)},
    {90005, Cmd(0x49)},
    {174, Cmd(0x77)},
    {90007, Cmd(0x29)},
    {90008, Cmd(0x01)},
    {90009, Cmd(0x3A)},
    {90010, Cmd(0x04)},
    {151, DiagRequestHeader::Subsystem(0x4B, 0xC9, 0xFF03)},
    {90012, Cmd(0xFC)},
    {173, Sub(0x78, 18)},
    {166, Sub(0x78, 24)},
    {90013, Sub(0x78, 25)},
    {171, Sub(0x78, 26)},
    {172, Sub(0x78, 27)},
    {175, Sub(0x78, 22)},
    {159, Sub(0x78, 2)},
    {170, Sub(0x78, 0)},
}};

constexpr std::array<Row, 11> kTableB{{
    {90001, Cmd(0x26)},
    {90002, Cmd(0x27)},
    {90003, Cmd(0x41)},
    {90004, Cmd(0x48)},
    {90005, Cmd(0x49)},
    {90007, Cmd(0x29)},
    {90008, Cmd(0x01)},
    {90009, Cmd(0x3A)},
    {90010, Cmd(0x04)},
    {90012, Cmd(0xFC)},
    {90014, Cmd(0xFB)},
}};

std::optional<DiagRequestHeader> Find(std::span<const Row> table, uint32_t id) {
    const auto row =
        std::find_if(table.begin(), table.end(), [&](const Row& r) { return r.id == id; });
    if (row == table.end()) {
        return std::nullopt;
    }
    return row->header;
}

}  // namespace

std::optional<DiagRequestHeader> LookUpRequest(RequestTable table, uint32_t request_id) {
    return table == RequestTable::kA ? Find(kTableA, request_id) : Find(kTableB, request_id);
}

}  // namespace carvex
