#pragma once

#include <cstdint>
#include <string>

namespace cardwright {

// A request status of the library (CARVEX_STATUS_...) in words, for the NV item it concerns (or
// none): "item 60060 is not active on the card (NV status 5)".
std::string DescribeStatus(int32_t status, int item = -1);

}  // namespace cardwright
