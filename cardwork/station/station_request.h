#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace cardwright {

// The commands a station runs for each card through the shell: `before` once the snapshot is
// saved, before the first write (its failure refuses the card), `after` once the card's record
// is committed, with the record as JSON on its standard input (its failure is kept in the
// record). The card's texts reach them only in their environment. Empty: none.
struct StationHooks {
    static constexpr std::chrono::milliseconds kTimeout{30000};

    std::string before;
    std::string after;
    std::chrono::milliseconds timeout = kTimeout;
};

// What a station is asked to do beyond the write itself (which BatchApply holds).
struct StationRequest {
    // Below this many bytes free where the station keeps its records, snapshots or logs, no
    // new card is begun.
    static constexpr uint64_t kMinFreeBytes = uint64_t{100} * 1000 * 1000;

    std::vector<int> ports;  // the slots (PC UI COM numbers) to take; empty: every one
    size_t jobs = 0;         // cards worked at once; 0: every card plugged in
    // Cards that have an ok record of this file are written again: all of them, or these.
    bool again = false;
    std::set<std::string> again_imeis;
    StationHooks hooks;
    std::string station;  // the station's name, which the hooks are told
    // The folders whose free space is watched, each with what it holds ("records").
    std::vector<std::pair<std::string, std::filesystem::path>> folders;
    uint64_t min_free_bytes = kMinFreeBytes;
};

}  // namespace cardwright
