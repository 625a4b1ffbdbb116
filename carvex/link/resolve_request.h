#pragma once

#include <cstdint>

#include "carvex/carvex.h"
#include "carvex/link/diag_link.h"

namespace carvex {

// Status codes of a request-id resolution.
enum ResolveStatus : int32_t {
    kResolveNotSent = CARVEX_STATUS_NOT_SENT,
    kResolveNoAnswer = CARVEX_STATUS_NO_REPLY,
    kResolveNotInTableA = CARVEX_STATUS_NOT_IN_BUILT_IN_TABLE,
    kResolveNotInTableB = CARVEX_STATUS_NOT_IN_CARD_TABLE,
    kResolveFromTableA = CARVEX_STATUS_RESOLVED_BUILT_IN,
    kResolveFromCard = CARVEX_STATUS_RESOLVED_BY_CARD,  // also: found in table B
};

inline constexpr uint32_t kProbeSignature = 0x0600A725;

// Asks the card which header stands for `request_id`: the card may supply the header itself,
// point to table B, or not know the probe at all (table A).
bool ResolveRequest(DiagLink& link, uint32_t request_id, DiagRequestHeader* header,
                    int32_t* status);

}  // namespace carvex
