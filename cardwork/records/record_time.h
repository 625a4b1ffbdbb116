#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace cardwright {

// The times of a record: UTC to the second, as "2026-03-14T09:05:31Z". Texts of this one form
// sort as their times do, which is what the store's queries by time rely on.
std::string RecordTimeText(std::chrono::system_clock::time_point when);

// A time as a record or a user gives it: "2026-03-14T09:05:31Z", "2026-03-14T09:05Z", or a day,
// "2026-03-14", meaning its first second (UTC). nullopt for any other text, or a date or time that
// does not exist.
std::optional<std::chrono::system_clock::time_point> ParseRecordTime(std::string_view text);

}  // namespace cardwright
