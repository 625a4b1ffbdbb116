#pragma once

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tools/carvexctl/dispatcher.h"

namespace carvexctl {

// What `carvexctl records` was asked for, as the command line gives it.
struct RecordsQuery {
    std::string records;  // the database; empty: the default one
    std::string imei;
    std::string since;   // a UTC day or time
    std::string result;  // ok, refused, failed, mismatch, interrupted, cancelled
    std::string station;
    bool json = false;
    bool csv = false;
    std::string central;  // query the central database instead, or forward to it
    bool forward = false;
    bool pending = false;
};

// Adds `records` to `app`, its options read into `query`; both must outlive the parse. The
// caller runs RunRecordsCommand when the command was chosen.
CLI::App* AddRecordsCommand(CLI::App& app, RecordsQuery& query);

// `records`: the records of the card work done on this machine.
class RecordsCommand : public CommandModule {
  public:
    void Register(Dispatcher& dispatcher) override;

  private:
    RecordsQuery query_;
};

// Prints the records the query lets through, oldest first: a table, or with --json one JSON
// array, with --csv CSV; those of every station with --central, those waiting to be forwarded
// with --pending. Opening the database marks the records of processes that are gone as
// interrupted. With --forward, sends what waits to the central database instead. Throws Refusal
// for a --since it cannot read or a --central that cannot be used, Failure for a database it
// cannot use (or, forwarding, reach); on Windows, which keeps no records, Failure.
void RunRecordsCommand(const RecordsQuery& query, std::ostream& out);

// The records database: the one chosen, or $XDG_STATE_HOME/carvex/records.db.
std::filesystem::path RecordsPath(const std::string& chosen);

// Removes from the database the ended records begun before `cutoff`; how many went. Throws
// Failure (on Windows always).
size_t RemoveRecordsBegunBefore(const std::filesystem::path& db,
                                std::chrono::system_clock::time_point cutoff);

// The snapshots that the database's unfinished writes still need (a later attempt at the card
// keeps one in place of a new snapshot); none when there is no database (always on Windows).
// Throws Failure for a database it cannot use.
std::vector<std::string> SnapshotsStillNeeded(const std::filesystem::path& db);

}  // namespace carvexctl
