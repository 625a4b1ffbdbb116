#pragma once

#include <cstdint>
#include <optional>

#include "carvex/link/diag_request_header.h"

namespace carvex {

// The headers the library knows for its request ids. Table A is used when the card does not
// answer the probe with its signature, table B when it answers with the signature and flag 0.
enum class RequestTable { kA, kB };

std::optional<DiagRequestHeader> LookUpRequest(RequestTable table, uint32_t request_id);

// The request id of the version request.
inline constexpr uint32_t kRequestVersions = 151;

}  // namespace carvex
