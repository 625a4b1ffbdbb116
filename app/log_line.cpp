#include "app/log_line.h"

#include <QRegularExpression>

namespace cardwright {

namespace {

// The long time format with its time-zone field ("t", "tt", ...) and the blanks around it taken
// out.
QString LongTimeWithoutZone(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression kZone(QStringLiteral("\\s*\\bt+\\b\\s*"));
    format.replace(kZone, QStringLiteral(" "));
    return format.trimmed();
}

}  // namespace

QString LogTimestamp(const QDateTime& when, const QLocale& locale) {
    QString date = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() == QTime(0, 0)) {
        return date;
    }
    return date + QLatin1Char(' ') + locale.toString(when.time(), LongTimeWithoutZone(locale));
}

QString LogLine(const QDateTime& when, const QLocale& locale, const QString& message) {
    return LogTimestamp(when, locale) + QStringLiteral("  ") + message;
}

}  // namespace cardwright
