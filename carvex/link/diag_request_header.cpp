#include "carvex/link/diag_request_header.h"

#include "carvex/link/little_endian.h"

namespace carvex {

size_t DiagRequestHeader::Length() const {
    switch (kind) {
        case kSubCommand:
            return 2;
        case kSubsystem:
            return 4;
        default:
            return 1;
    }
}

void DiagRequestHeader::Write(std::span<uint8_t> out) const {
    out[0] = cmd;
    if (kind == kSubCommand) {
        out[1] = sub;
    } else if (kind == kSubsystem) {
        out[1] = subsys;
        PutLe16(out, 2, code);
    }
}

ResponseKey ResponseKey::For(const DiagRequestHeader& header) {
    switch (header.kind) {
        case DiagRequestHeader::kSubCommand:
            return Of(header.cmd, header.sub);
        case DiagRequestHeader::kSubsystem:
            return Of(header.cmd, header.subsys, header.code);
        default:
            return Of(header.cmd);
    }
}

// A packet too short to carry a byte the key names does not match it.
bool ResponseKey::Matches(std::span<const uint8_t> packet) const {
    const uint8_t cmd = static_cast<uint8_t>(value_ & 0xFF);
    const uint8_t second = static_cast<uint8_t>((value_ >> 8) & 0xFF);
    const uint16_t code = static_cast<uint16_t>(value_ >> 16);
    if (packet.empty() || packet[0] != cmd) {
        return false;
    }
    if (second != kAnyByte && (packet.size() < 2 || packet[1] != second)) {
        return false;
    }
    if (code != kAnyCode && (packet.size() < 4 || GetLe16(packet, 2) != code)) {
        return false;
    }
    if (item_ && (packet.size() < 3 || GetLe16(packet, 1) != *item_)) {
        return false;
    }
    return !other_second_ || packet.size() < 2 || packet[1] != *other_second_;
}

}  // namespace carvex
