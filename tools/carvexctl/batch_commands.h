#pragma once

#include <string>

#include "tools/carvexctl/dispatcher.h"
#include "tools/carvexctl/run_recording.h"

namespace carvexctl {

// `apply`, `restore` and `snapshots`: a setting file onto many cards at once, one card put back
// as a snapshot found it, and the snapshots kept, through the batch work's library. Each run leaves
// a folder with a log per card and its summary; Ctrl-C or SIGTERM begins no further card and gives
// those being written time to finish (a second Ctrl-C breaks them off).
class BatchCommands : public CommandModule {
  public:
    explicit BatchCommands(std::string version) : version_(std::move(version)) {}

    void Register(Dispatcher& dispatcher) override;

    struct Options {
        std::string settings;     // apply: the setting file
        std::string description;  // apply: Config_Info.ini
        std::string snapshot;     // restore: the snapshot file
        std::string imei;         // snapshots: the card's only
        size_t jobs = 0;
        std::string report;
        std::string snapshots;
        std::string logs;
        bool dry_run = false;
        bool all = false;  // dry run: list the items that would not change too
        bool no_restart = false;
        bool force = false;
        bool json = false;         // the summary (snapshots: the list) as one JSON document
        RunRecordOptions records;  // where each card's record is kept, and what it says
    };

  private:
    std::string version_;
    Options options_;
};

}  // namespace carvexctl
