#include "cardwork/batch/utc_text.h"

#include <cstdio>
#include <string>

namespace cardwright {

namespace {

using std::chrono::seconds;
using std::chrono::system_clock;

// "20260314T090531Z", the form for file names.
constexpr size_t kCompactLength = 16;

// Exactly `count` digits at `at` in `text`.
std::optional<int> Digits(std::string_view text, size_t at, size_t count) {
    if (at + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text.substr(at, count)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

bool CharAt(std::string_view text, size_t at, char wanted) {
    return at < text.size() && text[at] == wanted;
}

}  // namespace

std::string UtcText(std::chrono::system_clock::time_point when, bool compact) {
    using namespace std::chrono;
    const auto day = floor<days>(when);
    const year_month_day date(day);
    const hh_mm_ss time(floor<seconds>(when - day));
    char text[32];
    std::snprintf(text, sizeof text,
                  compact ? "%04d%02u%02uT%02d%02d%02dZ" : "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

std::optional<system_clock::time_point> ParseUtcText(std::string_view text) {
    // The compact form is read as the extended one it stands for.
    if (text.size() == kCompactLength && text[8] == 'T') {
        const std::string extended =
            std::string(text.substr(0, 4)) + "-" + std::string(text.substr(4, 2)) + "-" +
            std::string(text.substr(6, 5)) + ":" + std::string(text.substr(11, 2)) + ":" +
            std::string(text.substr(13));
        return ParseUtcText(extended);
    }
    const auto year = Digits(text, 0, 4);
    const auto month = Digits(text, 5, 2);
    const auto day = Digits(text, 8, 2);
    if (!year || !month || !day || !CharAt(text, 4, '-') || !CharAt(text, 7, '-')) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(*year),
                                           std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    const system_clock::time_point midnight = std::chrono::sys_days(date);
    if (text.size() == 10) {
        return midnight;
    }
    const auto hour = Digits(text, 11, 2);
    const auto minute = Digits(text, 14, 2);
    if (!CharAt(text, 10, 'T') || !hour || !CharAt(text, 13, ':') || !minute || *hour > 23 ||
        *minute > 59) {
        return std::nullopt;
    }
    int second = 0;
    if (text.size() == 20) {
        const auto given = Digits(text, 17, 2);
        if (!CharAt(text, 16, ':') || !given || *given > 59) {
            return std::nullopt;
        }
        second = *given;
    } else if (text.size() != 17) {
        return std::nullopt;
    }
    if (text.back() != 'Z') {
        return std::nullopt;
    }
    return midnight + std::chrono::hours(*hour) + std::chrono::minutes(*minute) + seconds(second);
}

}  // namespace cardwright
