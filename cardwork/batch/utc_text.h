#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace cardwright {

// A time in UTC as ISO 8601 gives it, to the second: "2026-03-14T09:05:31Z", and for file names
// "20260314T090531Z".
// Texts of one form sort as their times do.
std::string UtcText(std::chrono::system_clock::time_point when, bool compact = false);

// A UTC time as UtcText gives it (either form), or as a user gives it: to the minute
// ("2026-03-14T09:05Z") or a day ("2026-03-14", its first second). nullopt for any other text, or
// a date or time that does not exist.
std::optional<std::chrono::system_clock::time_point> ParseUtcText(std::string_view text);

}  // namespace cardwright
