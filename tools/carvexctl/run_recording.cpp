#include "tools/carvexctl/run_recording.h"

#include <CLI/CLI.hpp>

#include "carvex/platform/host_name.h"

namespace carvexctl {

void AddRunRecordOptions(CLI::App* command, RunRecordOptions& options) {
    command->add_option("--records", options.records,
                        "the database of the records of card work (default: "
                        "$XDG_STATE_HOME/carvex/records.db)");
    command->add_option("--station", options.station,
                        "the station the records name (default: the host name)");
    command->add_option("--operator", options.operator_name,
                        "who works the cards, for the records");
    command->add_option("--work-order", options.work_order, "the work order, for the records");
    command->add_option("--central", options.central,
                        "also forward the records to this PostgreSQL database (a libpq URI or "
                        "key=value string, without a password: PGPASSFILE, ~/.pgpass or "
                        "PGPASSWORD give it)");
    command
        ->add_option("--central-retry-max", options.central_retry_max,
                     "seconds between tries at most while the central database cannot be reached "
                     "(default: 30)")
        ->check(CLI::Range(1.0, 3600.0));
}

void PutRunFacts(const RunRecordOptions& options, cardwright::RunFacts& facts) {
    facts.station = options.station.empty() ? carvex::HostName() : options.station;
    facts.operator_name = options.operator_name;
    facts.work_order = options.work_order;
}

}  // namespace carvexctl
