#pragma once

#include "cardwork/presenter/date_time_format.h"

namespace cardwright::win32 {

// The log's time stamps in the user's own forms: GetDateFormatEx's short date and
// GetTimeFormatEx's time, in local time; at exactly midnight, the date alone.
class LocaleDateTime final : public DateTimeFormat {
  public:
    std::string LogTimestamp(std::chrono::system_clock::time_point when) const override;
};

}  // namespace cardwright::win32
