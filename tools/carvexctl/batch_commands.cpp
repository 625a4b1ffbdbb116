#include "tools/carvexctl/batch_commands.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <functional>
#include <iostream>

#include "cardwork/batch/batch_apply.h"
#include "cardwork/batch/card_census.h"
#include "cardwork/batch/card_restore.h"
#include "cardwork/batch/run_folder.h"
#include "cardwork/batch/run_summary.h"
#include "cardwork/batch/snapshot_shelf.h"
#include "cardwork/batch/work_refusal.h"
#include "cardwork/batch/work_stop.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/device_root.h"
#include "carvex/platform/port_diagnosis.h"
#include "carvex/platform/printable_text.h"
#include "carvex/platform/stop_signals.h"
#include "tools/carvexctl/board_observer.h"
#include "tools/carvexctl/command_card.h"
#include "tools/carvexctl/default_description.h"
#include "tools/carvexctl/error_terminal.h"
#include "tools/carvexctl/json_output.h"
#include "tools/carvexctl/plan_listing.h"
#include "tools/carvexctl/snapshot_listing.h"
#include "tools/carvexctl/summary_table.h"

namespace carvexctl {

namespace {

namespace fs = std::filesystem;
using cardwright::CardRecord;
using cardwright::RunReport;

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
    if (!cardwright::ReportFormatOf(report)) {
        throw Refusal("--report " + report + ": the name must end in .csv or .json");
    }
    if (const std::string why = cardwright::ReportUnwritable(report); !why.empty()) {
        throw Refusal("--report " + report + " cannot be written: " + why);
    }
}

// The snapshots go before each card's first write: a folder they cannot go into is found now,
// not after every card was read.
void CheckSnapshots(const fs::path& folder) {
    if (const std::string why = cardwright::SnapshotFolderRefusal(folder); !why.empty()) {
        throw Refusal("--snapshots " + folder.string() + " cannot take a snapshot: " + why);
    }
}

// The cards to work on; a command line that names none, in a root that has none, ends here.
std::vector<int> Cards(const carvex::DeviceRoot& root, const std::vector<int>& named) {
    std::vector<int> ports = cardwright::CardsToWork(root, named);
    if (ports.empty()) {
        throw Failure(carvex::ExplainUnopenableCard(root).sentence +
                      "; \"carvexctl ports --why\" tells what was found");
    }
    return ports;
}

// Ctrl-C and SIGTERM for the length of a run: the first stops it (no card is begun, those being
// worked have their grace), a further one breaks the cards off; a second Ctrl-C also makes the
// program end with 130.
class RunSignals {
  public:
    RunSignals(cardwright::WorkStop& stop, BoardObserver& board)
        : signals_([this, &stop, &board](const std::string& name, int count) {
              if (count == 1) {
                  stop.Stop(name);
                  board.Say("stopping (" + name +
                            "): no further card is begun; the cards being "
                            "written have " +
                            stop.GraceWords() + " to finish");
                  return;
              }
              stop.BreakOff(name);
              board.Say("breaking off (" + name + ")");
              if (name == "SIGINT") {
                  second_interrupt_ = true;
              }
          }) {}

    bool SecondInterrupt() const { return second_interrupt_; }

  private:
    std::atomic<bool> second_interrupt_{false};
    carvex::StopSignals signals_;
};

// What a command prints besides the summary: as text before it, as JSON members beside it.
struct Told {
    std::function<void()> text;
    std::function<void(Json&)> json;
};

// The summary in the run folder and the report file when asked for, then on standard output
// what `told` prints and the summary (or, with `json`, one document of both); the exit status.
// The files come first: a reader of the output that went away (a pager quit, tee ended by the
// same Ctrl-C) ends the program at its first line out.
ExitStatus Report(const RunReport& report, const std::string& file, const fs::path& run_folder,
                  const cardwright::WorkStop& stop, const RunSignals& signals, bool json,
                  const Told& told = {}) {
    const std::string unsaved = cardwright::SaveRunSummary(run_folder, report);
    // Neither file waits on the other: what one could not keep, the other still holds.
    const std::string unreported =
        file.empty() ? std::string() : cardwright::SaveReport(file, report);
    const bool reported = !file.empty() && unreported.empty();
    if (json) {
        Json about = {{"logs", run_folder.string()},
                      {"report", reported ? Json(file) : Json()},
                      {"stopped_by", stop.Stopping() ? Json(stop.Why()) : Json()},
                      {"items_left_to_defaults", nullptr},
                      {"dry_run", false},
                      {"plans", nullptr}};
        if (told.json) {
            told.json(about);
        }
        PrintDocument(SummaryJson(report, about));
    } else {
        if (told.text) {
            told.text();
        }
        PrintSummary(std::cout, report.cards);
        std::cout << "Logs: " << run_folder.string() << "\n";
        if (stop.Stopping()) {
            std::cout << "Stopped by " << stop.Why() << ".\n";
        }
        if (reported) {
            std::cout << "Report: " << file << "\n";
        }
    }
    if (!unsaved.empty()) {
        throw Failure("the run's summary could not be written: " + unsaved +
                      (unreported.empty() ? "" : "; nor the report: " + unreported));
    }
    if (!unreported.empty()) {
        throw Failure("the report could not be written: " + unreported);
    }
    if (signals.SecondInterrupt()) {
        return ExitStatus::kInterrupted;
    }
    return report.AllOk() ? ExitStatus::kOk : ExitStatus::kCardWorkFailed;
}

cardwright::RunFacts Facts(const std::string& version) {
    cardwright::RunFacts facts;
    facts.tool_version = "carvexctl " + version;
    return facts;
}

ExitStatus Apply(const BatchCommands::Options& options, const PortOption& port,
                 const std::string& version) {
    CheckReport(options.report);
    const std::vector<int> named = port.Ports();
    const carvex::DeviceRoot root = carvex::DeviceRoot::FromEnvironment();

    cardwright::ApplyRequest request;
    request.settings = options.settings;
    request.description = ChosenDescription(options.description, std::cerr);
    request.jobs = options.jobs;
    request.snapshots = cardwright::ChosenFolder(options.snapshots, "snapshots");
    if (!options.dry_run) {
        CheckSnapshots(request.snapshots);
    }
    request.dry_run = options.dry_run;
    request.restart = !options.no_restart;
    request.facts = Facts(version);
    PutRunFacts(options.records, request.facts);
    // A dry run writes nothing, records neither.
    std::optional<RunRecording> recording;
    if (!options.dry_run) {
        recording.emplace(options.records);
    }
    cardwright::RunFolder run_folder =
        cardwright::MakeRunFolder(cardwright::ChosenFolder(options.logs, "logs"));
    request.run_folder = run_folder.path;
    std::optional<cardwright::BatchApply> apply;
    std::vector<int> ports;
    try {
        apply.emplace(root, request);
        ports = Cards(root, named);
    } catch (...) {
        // Refused, or no card to work: no run began, and none leaves a folder.
        cardwright::DiscardRunFolder(std::move(run_folder));
        throw;
    }
    ProgressBoard board(std::cerr, Labels(ports), ErrorTerminalRedraws(), ErrorTerminalColumns());
    BoardObserver observer(board, Labels(ports));
    cardwright::WorkStop stop;
    RunReport report;
    report.started = carvex::GetClock().WallNow();
    const RunSignals signals(stop, observer);
    report.cards =
        apply->Run(ports, recording ? recording->Hooks(observer, stop)
                                    : cardwright::CardHooks{.observer = &observer, .stop = &stop});
    report.ended = carvex::GetClock().WallNow();
    board.Drain();  // the board's last lines before the report

    const auto text = [&] {
        std::cout << carvex::PrintableText(request.settings.string()) << ": "
                  << carvex::PrintableText(apply->LeftToDefaults().Sentence()) << ".\n";
        if (options.dry_run) {
            for (const CardRecord& card : report.cards) {
                PrintPlan(std::cout, card, options.all);
            }
            std::cout << "\nDry run: nothing was written.\n";
        }
    };
    const auto json = [&](Json& about) {
        about["items_left_to_defaults"] = apply->LeftToDefaults().captions;
        about["dry_run"] = options.dry_run;
        if (options.dry_run) {
            Json& plans = about["plans"] = Json::array();
            for (const CardRecord& card : report.cards) {
                plans.push_back(PlanJson(card));
            }
        }
    };
    const ExitStatus status = Report(report, options.report, request.run_folder, stop, signals,
                                     options.json, {text, json});
    if (recording) {
        recording->Check();
    }
    return status;
}

// The card a snapshot was taken of, when no --port names one: each card is asked its IMEI, and
// the one that has the snapshot's is taken; none, or several, and nothing is written.
int CardOfSnapshot(const carvex::DeviceRoot& root, const std::string& imei) {
    const std::vector<int> ports = Cards(root, {});
    Progress("Looking for the card with IMEI " + imei + " among " + std::to_string(ports.size()) +
             (ports.size() == 1 ? " card..." : " cards..."));
    const cardwright::CardOfImei found =
        cardwright::FindCardOfImei(cardwright::AskCards(root, ports), imei);
    if (!found.port) {
        throw Failure("nothing restored: " + found.refusal +
                      (found.several.empty() ? "" : "; name the one to restore with --port"));
    }
    return *found.port;
}

ExitStatus Restore(const BatchCommands::Options& options, const PortOption& port,
                   const std::string& version) {
    const std::optional<int> named = port.Single("restore");
    // Forced, any card is written: it must be the one the technician chose, not a guess.
    if (options.force && !named) {
        throw Refusal("--force needs --port: it restores onto the card named, whatever its IMEI");
    }
    CheckReport(options.report);
    CheckSnapshots(cardwright::ChosenFolder(options.snapshots, "snapshots"));
    const cardwright::SnapshotRead read = cardwright::LoadSnapshot(options.snapshot);
    if (!read.snapshot) {
        throw Refusal(read.error);
    }
    const carvex::DeviceRoot root = carvex::DeviceRoot::FromEnvironment();
    const int card =
        named ? Cards(root, {*named}).front() : CardOfSnapshot(root, read.snapshot->imei);
    cardwright::RestoreRequest request;
    request.force = options.force;
    request.restart = !options.no_restart;
    request.snapshots = cardwright::ChosenFolder(options.snapshots, "snapshots");
    RunRecording recording(options.records);
    const cardwright::RunFolder run_folder =
        cardwright::MakeRunFolder(cardwright::ChosenFolder(options.logs, "logs"));
    request.run_folder = run_folder.path;
    request.facts = Facts(version);
    PutRunFacts(options.records, request.facts);
    ProgressBoard board(std::cerr, Labels({card}), ErrorTerminalRedraws(), ErrorTerminalColumns());
    BoardObserver observer(board, Labels({card}));
    cardwright::WorkStop stop;
    RunReport report;
    report.started = carvex::GetClock().WallNow();
    const RunSignals signals(stop, observer);
    report.cards = {cardwright::RestoreCard(root, card, *read.snapshot, options.snapshot, request,
                                            recording.Hooks(observer, stop))};
    report.ended = carvex::GetClock().WallNow();
    board.Drain();  // the board's last lines before the report
    const ExitStatus status =
        Report(report, options.report, request.run_folder, stop, signals, options.json);
    recording.Check();
    return status;
}

ExitStatus Snapshots(const BatchCommands::Options& options) {
    std::optional<std::string> imei;
    if (!options.imei.empty()) {
        if (!cardwright::IsSnapshotImei(options.imei)) {
            throw Refusal("--imei " + carvex::PrintableText(options.imei) + ": an IMEI is " +
                          "1 to 15 digits");
        }
        imei = options.imei;
    }
    const fs::path folder = cardwright::ChosenFolder(options.snapshots, "snapshots");
    const cardwright::SnapshotShelf shelf = cardwright::ListSnapshots(folder, imei);
    if (!shelf.error.empty()) {
        throw Failure(shelf.error);
    }
    if (options.json) {
        PrintSnapshotsJson(std::cout, folder, shelf);
    } else {
        PrintSnapshots(std::cout, folder, shelf);
    }
    return shelf.unread.empty() ? ExitStatus::kOk : ExitStatus::kCardWorkFailed;
}

}  // namespace

void BatchCommands::Register(Dispatcher& dispatcher) {
    CLI::App& app = dispatcher.App();
    const PortOption& port = dispatcher.Port();
    const auto outputs = [this](CLI::App* command) {
        command->add_option("--report", options_.report,
                            "also write the report to this file: CSV or JSON by its extension");
        command->add_option("--logs", options_.logs,
                            "the folder for the logs, one per card in a folder per run with the "
                            "run's summary (default: $XDG_STATE_HOME/carvex/logs)");
        command->add_flag("--no-restart", options_.no_restart,
                          "back the cards up but do not restart them (the bytes are read back "
                          "at once)");
        AddJsonFlag(command, options_.json);
    };
    const auto snapshots = [this](CLI::App* command) {
        command->add_option("--snapshots", options_.snapshots,
                            "the folder for the snapshots taken before the first write (default: "
                            "$XDG_STATE_HOME/carvex/snapshots)");
    };

    auto* apply = app.add_subcommand(
        "apply",
        "write one setting file onto every card (or those --port names) at once, each with a "
        "snapshot taken first and every written byte read back after the restart");
    apply->add_option("SETTINGS", options_.settings, "the setting file (.ini) to write")
        ->required();
    apply->add_option("--description", options_.description, kDescriptionHelp);
    apply->add_option("--jobs", options_.jobs, "how many cards to work at once (default: all)")
        ->check(CLI::Range(1, 999));
    snapshots(apply);
    auto* dry_run = apply->add_flag(
        "--dry-run", options_.dry_run,
        "show per card the NV items the write would change, the card's bytes and those that "
        "would be written; write nothing, not even a snapshot");
    apply->add_flag("--all", options_.all, "with --dry-run, list the unchanged items too")
        ->needs(dry_run);
    outputs(apply);
    AddRunRecordOptions(apply, options_.records);
    dispatcher.Add(apply, [this, &port] { return Apply(options_, port, version_); });

    auto* restore = app.add_subcommand(
        "restore", "write a card's snapshot back onto it, then restart it and read it back");
    restore->add_option("SNAPSHOT", options_.snapshot, "the snapshot file (.json) apply took")
        ->required();
    restore->add_flag("--force", options_.force,
                      "restore onto the card --port names though its IMEI is not the snapshot's");
    snapshots(restore);
    outputs(restore);
    AddRunRecordOptions(restore, options_.records);
    dispatcher.Add(restore, [this, &port] { return Restore(options_, port, version_); });

    auto* list = app.add_subcommand(
        "snapshots",
        "list the snapshots apply and restore took: IMEI, time, command, card type, firmware, "
        "file; the first of each IMEI is the card before carvexctl first wrote it");
    list->add_option("--imei", options_.imei, "only the snapshots of the card with this IMEI");
    snapshots(list);
    AddJsonFlag(list, options_.json);
    dispatcher.Add(list, [this] { return Snapshots(options_); });
}

}  // namespace carvexctl
