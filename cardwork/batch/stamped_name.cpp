#include "cardwork/batch/stamped_name.h"

#include <charconv>

#include "cardwork/batch/snapshot.h"
#include "cardwork/batch/utc_text.h"

namespace cardwright {

namespace {

// "20260314T090531Z".
constexpr size_t kStampLength = 16;
constexpr std::string_view kSnapshotExtension = ".json";

}  // namespace

std::optional<StampedName> ParseStampedName(std::string_view name) {
    // Of 16 characters, only the compact form is a time.
    const auto time = ParseUtcText(name.substr(0, kStampLength));
    if (!time || name.size() < kStampLength) {
        return std::nullopt;
    }
    if (name.size() == kStampLength) {
        return StampedName{*time, 1};
    }
    const std::string_view again = name.substr(kStampLength);
    int number = 0;
    if (again.size() < 2 || again.size() > 5 || again[0] != '-') {
        return std::nullopt;
    }
    const auto [end, error] =
        std::from_chars(again.data() + 1, again.data() + again.size(), number);
    if (error != std::errc{} || end != again.data() + again.size() || number < 1) {
        return std::nullopt;
    }
    return StampedName{*time, number};
}

std::optional<SnapshotName> ParseSnapshotName(std::string_view file_name) {
    const size_t dash = file_name.find('-');
    if (dash == std::string_view::npos || !file_name.ends_with(kSnapshotExtension)) {
        return std::nullopt;
    }
    const std::string_view imei = file_name.substr(0, dash);
    const auto saved = ParseStampedName(
        file_name.substr(dash + 1, file_name.size() - dash - 1 - kSnapshotExtension.size()));
    if (!IsSnapshotImei(imei) || !saved) {
        return std::nullopt;
    }
    return SnapshotName{std::string(imei), *saved};
}

}  // namespace cardwright
