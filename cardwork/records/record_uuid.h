#pragma once

#include <string>
#include <string_view>

namespace cardwright {

// A new random UUID (version 4, RFC 9562), lowercase: "3b6f0c1e-9a2d-4f7b-8c11-5e0d2a9b7f34".
// Its 122 random bits come from the system's random source, so records made at the same moment
// by several processes or stations never share one.
std::string NewRecordUuid();

// Whether a text has the form NewRecordUuid() gives.
bool IsRecordUuid(std::string_view text);

}  // namespace cardwright
