#pragma once

#include <chrono>
#include <ostream>
#include <string>

#include "tools/carvexctl/dispatcher.h"

namespace carvexctl {

// What `carvexctl prune` was asked for, as the command line gives it.
struct PruneOptions {
    int older_than = 0;      // days
    bool records = false;    // --records given: old records go too
    std::string records_db;  // its value; empty: the default database
    std::string snapshots;   // empty: $XDG_STATE_HOME/carvex/snapshots
    std::string logs;        // empty: $XDG_STATE_HOME/carvex/logs
};

// Adds `prune` to `app`, its options read into `options`; both must outlive the parse. The
// caller runs RunPruneCommand when the command was chosen.
CLI::App* AddPruneCommand(CLI::App& app, PruneOptions& options);

// Removes what carvexctl kept that is older than the days asked, by the time in its name: the
// run folders of the logs, the snapshots (never the oldest of an IMEI, which holds the card as it
// was before it was first written), and with --records the ended records. Says on `out` each
// thing it removed, then the sum. What is not carvexctl's (by its name) and symbolic links are
// left alone. Throws Refusal for a folder or database named but not there (nothing removed),
// Failure when something could not be removed (after the rest was).
void RunPruneCommand(const PruneOptions& options, std::ostream& out);

// `prune`: what carvexctl kept on this machine that is older than some days.
class PruneCommand : public CommandModule {
  public:
    void Register(Dispatcher& dispatcher) override;

  private:
    PruneOptions options_;
};

}  // namespace carvexctl
