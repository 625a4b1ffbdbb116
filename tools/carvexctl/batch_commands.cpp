#include "tools/carvexctl/batch_commands.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "carvex/platform/device_root.h"
#include "carvex/platform/port_diagnosis.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/batch_apply.h"
#include "tools/carvexctl/card_restore.h"
#include "tools/carvexctl/cards_list.h"
#include "tools/carvexctl/command_failure.h"
#include "tools/carvexctl/error_terminal.h"
#include "tools/carvexctl/plan_listing.h"
#include "tools/carvexctl/port_option.h"
#include "tools/carvexctl/snapshot.h"

namespace carvexctl {

namespace {

namespace fs = std::filesystem;

constexpr int kAllOk = 0;
constexpr int kNotAllOk = 1;

std::vector<std::string> Labels(const std::vector<int>& ports) {
    std::vector<std::string> labels;
    labels.reserve(ports.size());
    for (const int port : ports) {
        labels.push_back(carvex::ComName(port));
    }
    return labels;
}

// The report is checked before any card is touched: one that cannot be written would be found
// only after every card was written.
void CheckReport(const std::string& report) {
    if (report.empty()) {
        return;
    }
    if (!ReportFormatOf(report)) {
        throw Refusal("--report " + report + ": the name must end in .csv or .json");
    }
    if (const std::string why = ReportUnwritable(report); !why.empty()) {
        throw Refusal("--report " + report + " cannot be written: " + why);
    }
}

// The snapshots go before each card's first write: a folder they cannot go into is found now,
// not after every card was read.
void CheckSnapshots(const fs::path& folder) {
    if (const std::string why = SnapshotFolderRefusal(folder); !why.empty()) {
        throw Refusal("--snapshots " + folder.string() + " cannot take a snapshot: " + why);
    }
}

// The cards to work on; a command line that names none, in a root that has none, ends here.
std::vector<int> Cards(const carvex::DeviceRoot& root, const std::vector<int>& named) {
    std::vector<int> ports = CardsToWork(root, named);
    if (ports.empty()) {
        throw Failure(carvex::ExplainUnopenableCard(root).sentence +
                      "; \"carvexctl ports --why\" tells what was found");
    }
    return ports;
}

fs::path Folder(const std::string& chosen, std::string_view below_state) {
    return chosen.empty() ? StateFolder() / below_state : fs::path(chosen);
}

// The summary on standard output, the report file when asked for; the exit status.
int Report(const std::vector<ReportRow>& rows, const std::string& report,
           const fs::path& run_folder) {
    PrintSummary(std::cout, rows);
    std::cout << "Logs: " << run_folder.string() << "\n";
    if (!report.empty()) {
        if (const std::string error = SaveReport(report, rows); !error.empty()) {
            throw Failure("the report could not be written: " + error);
        }
        std::cout << "Report: " << report << "\n";
    }
    const bool all_ok =
        std::all_of(rows.begin(), rows.end(), [](const ReportRow& row) { return row.result.Ok(); });
    return all_ok ? kAllOk : kNotAllOk;
}

int Apply(const BatchCommands::Options& options, const PortOption& port) {
    CheckReport(options.report);
    const std::vector<int> named = port.Ports();
    const carvex::DeviceRoot root = carvex::DeviceRoot::FromEnvironment();

    ApplyRequest request;
    request.settings = options.settings;
    request.description = options.description;
    request.jobs = options.jobs;
    request.snapshots = Folder(options.snapshots, "snapshots");
    if (!options.dry_run) {
        CheckSnapshots(request.snapshots);
    }
    request.dry_run = options.dry_run;
    request.restart = !options.no_restart;
    request.run_folder = MakeRunFolder(Folder(options.logs, "logs"));
    std::optional<BatchApply> apply;
    try {
        apply.emplace(root, request);
    } catch (const Refusal&) {
        std::error_code ignored;
        fs::remove_all(request.run_folder, ignored);
        throw;
    }
    const std::vector<int> ports = Cards(root, named);
    ProgressBoard board(std::cerr, Labels(ports), ErrorTerminalRedraws(), ErrorTerminalColumns());
    const std::vector<CardOutcome> outcomes = apply->Run(ports, board);

    std::cout << carvex::PrintableText(request.settings.string()) << ": "
              << carvex::PrintableText(apply->LeftToDefaults().Sentence()) << ".\n";
    std::vector<ReportRow> rows;
    for (const CardOutcome& outcome : outcomes) {
        if (options.dry_run) {
            PrintPlan(std::cout, outcome);
        }
        rows.push_back(outcome.row);
    }
    if (options.dry_run) {
        std::cout << "\nDry run: nothing was written.\n";
    }
    return Report(rows, options.report, request.run_folder);
}

int Restore(const BatchCommands::Options& options, const PortOption& port) {
    CheckReport(options.report);
    CheckSnapshots(Folder(options.snapshots, "snapshots"));
    const std::optional<int> named = port.Single("restore");
    const SnapshotRead read = LoadSnapshot(options.snapshot);
    if (!read.snapshot) {
        throw Refusal(read.error);
    }
    const carvex::DeviceRoot root = carvex::DeviceRoot::FromEnvironment();
    const int card = Cards(root, named ? std::vector<int>{*named} : std::vector<int>{}).front();
    const fs::path run_folder = MakeRunFolder(Folder(options.logs, "logs"));
    ProgressBoard board(std::cerr, Labels({card}), ErrorTerminalRedraws(), ErrorTerminalColumns());
    RestoreRequest request;
    request.force = options.force;
    request.restart = !options.no_restart;
    request.snapshots = Folder(options.snapshots, "snapshots");
    const ReportRow row = RestoreCard(root, card, *read.snapshot, options.snapshot, request,
                                      run_folder / (carvex::ComName(card) + ".log"), board);
    return Report({row}, options.report, run_folder);
}

}  // namespace

BatchCommands::BatchCommands(CLI::App& app, const PortOption& port) {
    auto* cards = app.add_subcommand(
        "cards", "list every card: its COM ports, IMEI, model and firmware (each asked at once)");
    cards->callback([this, &port] {
        exit_status_ = PrintCards(std::cout, carvex::DeviceRoot::FromEnvironment(), port.Ports())
                           ? kAllOk
                           : kNotAllOk;
    });

    const auto outputs = [this](CLI::App* command) {
        command->add_option("--report", options_.report,
                            "also write the report to this file: CSV or JSON by its extension");
        command->add_option("--logs", options_.logs,
                            "the folder for the logs, one per card in a folder per run (default: "
                            "$XDG_STATE_HOME/carvex/logs)");
        command->add_flag("--no-restart", options_.no_restart,
                          "back the cards up but do not restart them (the bytes are read back "
                          "at once)");
    };

    auto* apply = app.add_subcommand(
        "apply",
        "write one setting file onto every card (or those --port names) at once, each with a "
        "snapshot taken first and every written byte read back after the restart");
    apply->add_option("SETTINGS", options_.settings, "the setting file (.ini) to write")
        ->required();
    apply
        ->add_option("--description", options_.description,
                     "the configurator's description of pages and items (Config_Info.ini)")
        ->required();
    apply->add_option("--jobs", options_.jobs, "how many cards to work at once (default: all)")
        ->check(CLI::Range(1, 999));
    const auto snapshots = [this](CLI::App* command) {
        command->add_option("--snapshots", options_.snapshots,
                            "the folder for the snapshots taken before the first write (default: "
                            "$XDG_STATE_HOME/carvex/snapshots)");
    };
    snapshots(apply);
    apply->add_flag("--dry-run", options_.dry_run,
                    "show per card and NV item the card's bytes and those that would be written; "
                    "write nothing, not even a snapshot");
    outputs(apply);
    apply->callback([this, &port] { exit_status_ = Apply(options_, port); });

    auto* restore = app.add_subcommand(
        "restore", "write a card's snapshot back onto it, then restart it and read it back");
    restore->add_option("SNAPSHOT", options_.snapshot, "the snapshot file (.json) apply took")
        ->required();
    restore->add_flag("--force", options_.force,
                      "restore onto a card whose IMEI is not the snapshot's");
    snapshots(restore);
    outputs(restore);
    restore->callback([this, &port] { exit_status_ = Restore(options_, port); });
}

}  // namespace carvexctl
