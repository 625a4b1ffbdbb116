#pragma once

#include <string>
#include <vector>

#include "tools/carvexctl/dispatcher.h"
#include "tools/carvexctl/run_recording.h"

namespace carvexctl {

// What `station` is asked for, as the command line gives it.
struct StationOptions {
    std::string settings;
    std::string description;
    size_t jobs = 0;
    bool again = false;
    std::vector<std::string> again_imeis;
    bool no_restart = false;
    std::string before_hook;
    std::string after_hook;
    double hook_timeout = 30;  // seconds
    bool json = false;
    std::string snapshots;
    std::string logs;
    RunRecordOptions records;
    std::string http;  // the line page's ADDR:PORT; empty: none
    std::string http_token;
    std::string http_token_file;
};

// `station`: every card plugged in is written with one setting file, verified and recorded,
// until SIGINT or SIGTERM. Linux only: on Windows it says so.
class StationCommand : public CommandModule {
  public:
    explicit StationCommand(std::string version) : version_(std::move(version)) {}

    void Register(Dispatcher& dispatcher) override;

  private:
    std::string version_;
    StationOptions options_;
};

// The station's run, with the slots (PC UI COM numbers) `ports` names (none: every one).
ExitStatus RunStation(const StationOptions& options, const std::vector<int>& ports,
                      const std::string& version);

}  // namespace carvexctl
