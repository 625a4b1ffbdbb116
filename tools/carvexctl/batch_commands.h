#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}  // namespace CLI

namespace carvexctl {

class PortOption;

// `cards`, `apply` and `restore`: the commands that work on many cards at once, each on a
// connection of its own, or put one card back as it was before.
class BatchCommands {
  public:
    // Adds the subcommands to `app`; the object and `port` must outlive the parse.
    BatchCommands(CLI::App& app, const PortOption& port);

    // The exit status the command that ran chose: 0 when every card ended ok, 1 otherwise.
    int ExitStatus() const { return exit_status_; }

    struct Options {
        std::string settings;     // apply: the setting file
        std::string description;  // apply: Config_Info.ini
        std::string snapshot;     // restore: the snapshot file
        size_t jobs = 0;
        std::string report;
        std::string snapshots;
        std::string logs;
        bool dry_run = false;
        bool no_restart = false;
        bool force = false;
    };

  private:
    Options options_;
    int exit_status_ = 0;
};

}  // namespace carvexctl
