#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace cardwright {

// When a file or folder named by the time it was made was made: run folders are named
// "<stamp>", snapshots "<IMEI>-<stamp>.json", the stamp being UtcText's compact form; a second
// one made in the same second gets "-2" after its stamp, and so on.
struct StampedName {
    std::chrono::system_clock::time_point time;
    int again = 1;  // its place among those of one second
    friend auto operator<=>(const StampedName&, const StampedName&) = default;
};

// "<stamp>" or "<stamp>-<n>"; nullopt for any other name.
std::optional<StampedName> ParseStampedName(std::string_view name);

// A snapshot's file name, "<IMEI>-<stamp>[-<n>].json": whose card, and when it was saved; nullopt
// for a name not made so.
struct SnapshotName {
    std::string imei;
    StampedName saved;
};
std::optional<SnapshotName> ParseSnapshotName(std::string_view file_name);

}  // namespace cardwright
