#pragma once

#include <string>
#include <string_view>

namespace cardwright {

// Whether a text has the form of a new record's UUID (NewUuid): version 4, lowercase,
// "3b6f0c1e-9a2d-4f7b-8c11-5e0d2a9b7f34".
bool IsRecordUuid(std::string_view text);

}  // namespace cardwright
