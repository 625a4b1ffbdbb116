#include <iostream>
#include <optional>

#include "cardwork/batch/batch_apply.h"
#include "cardwork/batch/run_folder.h"
#include "cardwork/batch/snapshot.h"
#include "cardwork/batch/work_stop.h"
#include "cardwork/records/record_store.h"
#include "cardwork/station/station.h"
#include "carvex/platform/device_root.h"
#include "carvex/platform/hook_process.h"
#include "carvex/platform/stop_signals.h"
#include "tools/carvexctl/central_forwarding.h"
#include "tools/carvexctl/default_description.h"
#include "tools/carvexctl/error_terminal.h"
#include "tools/carvexctl/records_command.h"
#include "tools/carvexctl/station_board.h"
#include "tools/carvexctl/station_command.h"
#include "tools/carvexctl/station_line_page.h"

namespace carvexctl {

namespace {

namespace fs = std::filesystem;

StationBoard::Kind BoardKind(bool json) {
    if (json) {
        return StationBoard::Kind::kJson;
    }
    return ErrorTerminalRedraws() ? StationBoard::Kind::kRedrawn : StationBoard::Kind::kLines;
}

}  // namespace

ExitStatus RunStation(const StationOptions& options, const std::vector<int>& ports,
                      const std::string& version) {
    // `station --json | consumer`: the station outlives a consumer that quits, whose last line
    // is lost, and its cards are written and recorded all the same.
    carvex::IgnoreBrokenPipes();
    const auto line_page_address =
        CheckLinePage({options.http, options.http_token, options.http_token_file});
    const carvex::DeviceRoot root = carvex::DeviceRoot::FromEnvironment();
    cardwright::ApplyRequest request;
    request.settings = options.settings;
    request.description = ChosenDescription(options.description, std::cerr);
    request.jobs = options.jobs;
    request.snapshots = cardwright::ChosenFolder(options.snapshots, "snapshots");
    if (const std::string why = cardwright::SnapshotFolderRefusal(request.snapshots);
        !why.empty()) {
        throw Refusal("--snapshots " + request.snapshots.string() +
                      " cannot take a snapshot: " + why);
    }
    request.restart = !options.no_restart;
    request.facts.tool_version = "carvexctl " + version;
    PutRunFacts(options.records, request.facts);

    std::optional<cardwright::CentralAddress> central;
    if (!options.records.central.empty()) {
        central = CentralAddressOf(options.records.central);
    }
    std::optional<cardwright::RecordStore> store;
    try {
        store.emplace(RecordsPath(options.records.records));
    } catch (const cardwright::RecordStoreError& error) {
        throw Refusal(std::string("the records cannot be kept: ") + error.what());
    }
    const fs::path logs = cardwright::ChosenFolder(options.logs, "logs");
    // Held for the station's life: its card logs go on being written into it.
    cardwright::RunFolder run_folder = cardwright::MakeRunFolder(logs);
    request.run_folder = run_folder.path;
    std::optional<cardwright::BatchApply> apply;
    try {
        apply.emplace(root, request);
    } catch (...) {
        cardwright::DiscardRunFolder(std::move(run_folder));
        throw;
    }

    cardwright::StationRequest station_request;
    station_request.ports = ports;
    station_request.jobs = options.jobs;
    station_request.again = options.again;
    station_request.again_imeis = {options.again_imeis.begin(), options.again_imeis.end()};
    station_request.hooks.before = options.before_hook;
    station_request.hooks.after = options.after_hook;
    station_request.hooks.timeout =
        std::chrono::milliseconds(static_cast<int64_t>(options.hook_timeout * 1000));
    station_request.station = request.facts.station;
    station_request.folders = {
        {"records", store->Path().parent_path()}, {"snapshots", request.snapshots}, {"logs", logs}};

    StationBoard board(options.json ? std::cout : std::cerr, BoardKind(options.json),
                       ErrorTerminalColumns());
    if (store->MarkedInterrupted() > 0) {
        board.Notice(std::to_string(store->MarkedInterrupted()) +
                     " record(s) of work broken off earlier are marked interrupted");
    }
    board.Notice("watching " + root.Path().string() + " for cards; the logs go into " +
                 request.run_folder.string());
    std::optional<StationLinePage> line_page;
    std::optional<BothListeners> board_and_page;
    if (line_page_address) {
        line_page.emplace(*line_page_address, apply->Facts(), store->Path());
        board_and_page.emplace(board, line_page->Listener());
    }
    cardwright::StationListener& listener =
        board_and_page ? static_cast<cardwright::StationListener&>(*board_and_page) : board;
    std::optional<CentralForwarding> forwarding;
    cardwright::WorkStop stop;
    cardwright::Station station(root, *apply, *store, std::move(station_request), listener);
    // Made before the station's threads, which take the signals' mask from their maker.
    const carvex::StopSignals signals([&](const std::string& name, int count) {
        if (count == 1) {
            stop.Stop(name);
            if (line_page) {
                line_page->EndStreams();
            }
            board.Notice("stopping (" + name +
                         "): no new card is begun; the cards being written have " +
                         stop.GraceWords() + " to finish");
        } else {
            stop.BreakOff(name);
            station.BreakOffHooks();
            board.Notice("breaking off (" + name + ")");
        }
        station.Wake();
    });
    if (line_page) {
        try {
            line_page->Serve([&board](const std::string& text) { board.Notice(text); });
        } catch (const Refusal&) {
            // No card was begun: the station leaves no empty run folder behind.
            cardwright::DiscardRunFolder(std::move(run_folder));
            throw;
        }
        board.Notice("the line page is at " + line_page->Url());
    }
    // Started after the stop signals, as the station's threads are.
    if (central) {
        board.Notice("the records are forwarded to " + central->Description());
        forwarding.emplace(
            *store, std::move(*central), options.records,
            [&board](const cardwright::ForwarderStatus& status) { board.Central(status); });
    }
    const cardwright::StationCounts counts = station.Run(stop);
    // What the last cards left goes before the station ends, if the server takes it soon; not
    // when the work was broken off, which asks for the end now.
    if (forwarding && !stop.BrokenOff()) {
        const cardwright::ForwarderStatus left =
            forwarding->Get().Drain(RunRecording::kLastForward);
        board.Notice(left.waiting == 0
                         ? "the records are forwarded"
                         : "central records: " + std::to_string(left.waiting) + " waiting (" +
                               (left.reason.empty() ? "still being sent" : left.reason) +
                               "); they go when the station next runs, or with carvexctl "
                               "records --forward");
    }
    board.Stopped(counts);
    if (const auto failures = station.RecordFailures(); !failures.empty()) {
        std::string text = std::to_string(failures.size()) + " record(s) could not be written:";
        for (const std::string& failure : failures) {
            text += "\n  " + failure;
        }
        throw Failure(text);
    }
    return counts.AllOk() ? ExitStatus::kOk : ExitStatus::kCardWorkFailed;
}

}  // namespace carvexctl
