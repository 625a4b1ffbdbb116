#include "carvex/link/resolve_request.h"

#include <array>

#include "carvex/link/request_table.h"
#include "carvex/link/timings.h"

namespace carvex {

namespace {

constexpr size_t kProbePayloadSize = 132;
constexpr DiagRequestHeader kProbeHeader = DiagRequestHeader::Command(0x26);

uint32_t Get32(const std::array<uint8_t, kProbePayloadSize>& b, size_t at) {
    return b[at] | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) |
           (uint32_t{b[at + 3]} << 24);
}

bool UseTable(RequestTable table, uint32_t request_id, DiagRequestHeader* header, int32_t* status,
              int32_t found, int32_t missing) {
    const auto row = LookUpRequest(table, request_id);
    *status = row ? found : missing;
    if (row) {
        *header = *row;
    }
    return row.has_value();
}

}  // namespace

bool ResolveRequest(DiagLink& link, uint32_t request_id, DiagRequestHeader* header,
                    int32_t* status) {
    std::array<uint8_t, kProbePayloadSize> probe{};
    for (int i = 0; i < 4; ++i) {
        probe[2 + i] = static_cast<uint8_t>(kProbeSignature >> (8 * i));
    }
    probe[6] = static_cast<uint8_t>(request_id & 0xFF);
    probe[7] = static_cast<uint8_t>((request_id >> 8) & 0xFF);
    if (!link.SendRequest(kProbeHeader, probe)) {
        *status = kResolveNotSent;
        return false;
    }

    std::array<uint8_t, kProbePayloadSize> answer{};
    if (!link.WaitResponse(kProbeHeader, answer, nullptr, timing::kProbeWait)) {
        *status = kResolveNoAnswer;
        return false;
    }
    const bool signed_answer = Get32(answer, 2) == kProbeSignature;
    if (signed_answer && answer[8] == 1) {
        *header = DiagRequestHeader::Subsystem(
            answer[9], answer[10], static_cast<uint16_t>(answer[11] | (answer[12] << 8)));
        *status = kResolveFromCard;
        return true;
    }
    if (signed_answer && answer[8] == 0) {
        return UseTable(RequestTable::kB, request_id, header, status, kResolveFromCard,
                        kResolveNotInTableB);
    }
    return UseTable(RequestTable::kA, request_id, header, status, kResolveFromTableA,
                    kResolveNotInTableA);
}

}  // namespace carvex
