#include "app_win32/locale_date_time.h"

#include <windows.h>

#include <array>

#include "app_win32/wide_text.h"

namespace cardwright::win32 {

namespace {

// FILETIME counts 100 ns from 1601-01-01; the system clock counts from 1970-01-01.
constexpr int64_t kFileTimeAtUnixEpoch = 116444736000000000LL;

std::wstring Formatted(int (*format)(LPCWSTR, DWORD, const SYSTEMTIME*, LPCWSTR, LPWSTR, int),
                       DWORD flags, const SYSTEMTIME& time) {
    std::array<wchar_t, 128> text{};
    const int length = format(LOCALE_NAME_USER_DEFAULT, flags, &time, nullptr, text.data(),
                              static_cast<int>(text.size()));
    return length > 0 ? std::wstring(text.data(), static_cast<size_t>(length - 1)) : std::wstring();
}

int DateFormat(LPCWSTR locale, DWORD flags, const SYSTEMTIME* time, LPCWSTR pattern, LPWSTR text,
               int size) {
    return GetDateFormatEx(locale, flags, time, pattern, text, size, nullptr);
}

int TimeFormat(LPCWSTR locale, DWORD flags, const SYSTEMTIME* time, LPCWSTR pattern, LPWSTR text,
               int size) {
    return GetTimeFormatEx(locale, flags, time, pattern, text, size);
}

}  // namespace

std::string LocaleDateTime::LogTimestamp(std::chrono::system_clock::time_point when) const {
    const auto ticks =
        std::chrono::duration_cast<std::chrono::duration<int64_t, std::ratio<1, 10000000>>>(
            when.time_since_epoch())
            .count() +
        kFileTimeAtUnixEpoch;
    FILETIME universal{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    if (FileTimeToSystemTime(&universal, &utc) == FALSE ||
        SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) == FALSE) {
        return {};
    }
    std::wstring stamp = Formatted(DateFormat, DATE_SHORTDATE, local);
    if (local.wHour != 0 || local.wMinute != 0 || local.wSecond != 0) {
        stamp += L' ';
        stamp += Formatted(TimeFormat, 0, local);
    }
    return Utf8(stamp);
}

}  // namespace cardwright::win32
