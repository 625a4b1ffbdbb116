#include "tools/carvexctl/records_command.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "cardwork/batch/run_folder.h"

namespace carvexctl {

CLI::App* AddRecordsCommand(CLI::App& app, RecordsQuery& query) {
    auto* records = app.add_subcommand(
        "records", "list the records of the card work done here (apply, restore), oldest first");
    records->add_option("--records", query.records,
                        "the records database (default: $XDG_STATE_HOME/carvex/records.db)");
    records->add_option("--imei", query.imei, "only the records of this IMEI");
    records->add_option("--since", query.since,
                        "only the records begun at or after this UTC day or time "
                        "(2026-03-14, 2026-03-14T09:05Z)");
    records
        ->add_option("--result", query.result,
                     "only the records that ended so: ok, refused, failed, mismatch, "
                     "interrupted or cancelled")
        ->check(CLI::IsMember({"ok", "refused", "failed", "mismatch", "interrupted", "cancelled"}));
    records->add_option("--station", query.station, "only the records of this station");
    auto* json = records->add_flag("--json", query.json, "print one JSON array of records");
    records->add_flag("--csv", query.csv, "print CSV, a line of field names first")->excludes(json);
    auto* central = records->add_option(
        "--central", query.central,
        "list the records of every station that forward to this PostgreSQL database (a libpq URI "
        "or key=value string, without a password) instead of this machine's");
    auto* pending = records->add_flag(
        "--pending", query.pending,
        "list this machine's records that wait to be forwarded to the central database");
    records
        ->add_flag("--forward", query.forward,
                   "send the records that wait to the central database --central names, and "
                   "list nothing")
        ->needs(central)
        ->excludes(pending)
        ->excludes(json);
    pending->excludes(central);
    return records;
}

void RecordsCommand::Register(Dispatcher& dispatcher) {
    dispatcher.Add(AddRecordsCommand(dispatcher.App(), query_), [this] {
        RunRecordsCommand(query_, std::cout);
        return ExitStatus::kOk;
    });
}

std::filesystem::path RecordsPath(const std::string& chosen) {
    return chosen.empty() ? cardwright::StateFolder() / "records.db"
                          : std::filesystem::path(chosen);
}

}  // namespace carvexctl
