#pragma once

#include <chrono>
#include <string>

namespace cardwright {

// The date-and-time seam: each window gives the log's time stamps in its platform's form (Qt:
// QLocale's; Win32: GetDateFormatEx and GetTimeFormatEx).
class DateTimeFormat {
  public:
    virtual ~DateTimeFormat() = default;

    // The time stamp of a log line: the user's short date and long time (without its time-zone
    // field), with the time left out when it is exactly midnight, local time. Called on the
    // presenter's worker thread.
    virtual std::string LogTimestamp(std::chrono::system_clock::time_point when) const = 0;
};

}  // namespace cardwright
