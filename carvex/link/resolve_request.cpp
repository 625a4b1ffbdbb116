#include "carvex/link/resolve_request.h"

#include <array>

#include "carvex/link/little_endian.h"
#include "carvex/link/request_table.h"
#include "carvex/link/timings.h"

namespace carvex {

namespace {

constexpr size_t kProbePayloadSize = 132;
constexpr DiagRequestHeader kProbeHeader = DiagRequestHeader::Command(0x26);

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
    PutLe32(probe, 2, kProbeSignature);
    PutLe16(probe, 6, static_cast<uint16_t>(request_id & 0xFFFF));
    if (!link.SendRequest(kProbeHeader, probe)) {
        *status = kResolveNotSent;
        return false;
    }

    // The probe reads NV item 0, which its reply echoes: a reply for another item (a late NV
    // read) is not the probe's.
    std::array<uint8_t, kProbePayloadSize> answer{};
    if (!link.WaitResponse(ResponseKey::NvItem(kProbeHeader.cmd, 0), kProbeHeader.Length(), answer,
                           nullptr, timing::kProbeWait)) {
        *status = kResolveNoAnswer;
        return false;
    }
    const bool signed_answer = GetLe32(answer, 2) == kProbeSignature;
    if (signed_answer && answer[8] == 1) {
        *header = DiagRequestHeader::Subsystem(answer[9], answer[10], GetLe16(answer, 11));
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
