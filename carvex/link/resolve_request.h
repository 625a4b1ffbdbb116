#pragma once

#include <cstdint>

#include "carvex/link/diag_link.h"

namespace carvex {

// Status codes of a request-id resolution.
enum ResolveStatus : int32_t {
    kResolveNotSent = 0,
    kResolveNoAnswer = 1,
    kResolveNotInTableA = 38,
    kResolveNotInTableB = 39,
    kResolveFromTableA = 40,
    kResolveFromCard = 41,  // also: found in table B
};

inline constexpr uint32_t kProbeSignature = 0x0600A725;

// Asks the card which header stands for `request_id`: the card may supply the header itself,
// point to table B, or not know the probe at all (table A).
bool ResolveRequest(DiagLink& link, uint32_t request_id, DiagRequestHeader* header,
                    int32_t* status);

}  // namespace carvex
