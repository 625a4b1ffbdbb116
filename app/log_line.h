#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include "cardwork/presenter/date_time_format.h"

namespace cardwright {

// The time stamp of a log line: the locale's short date and long time (without a time zone);
// only the date at exactly midnight.
QString LogTimestamp(const QDateTime& when, const QLocale& locale);

// A whole log line: time stamp, two blanks, message.
QString LogLine(const QDateTime& when, const QLocale& locale, const QString& message);

// The log's time stamps in the user's locale (QLocale::system()).
class QtDateTime : public DateTimeFormat {
  public:
    std::string LogTimestamp(std::chrono::system_clock::time_point when) const override;
};

}  // namespace cardwright
