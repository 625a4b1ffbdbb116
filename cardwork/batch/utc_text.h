#pragma once

#include <chrono>
#include <string>

namespace cardwright {

// A time in UTC as ISO 8601 gives it, to the second: "2026-03-14T09:05:31Z", and for file names
// "20260314T090531Z".
std::string UtcText(std::chrono::system_clock::time_point when, bool compact = false);

}  // namespace cardwright
