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

namespace cardwright {

std::string QtDateTime::LogTimestamp(std::chrono::system_clock::time_point when) const {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count());
    return cardwright::LogTimestamp(local, QLocale::system()).toStdString();
}

}  // namespace cardwright
