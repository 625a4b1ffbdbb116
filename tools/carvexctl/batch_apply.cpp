#include "tools/carvexctl/batch_apply.h"

#include <algorithm>

#include "cardwork/card/card_writer.h"
#include "carvex/carvex.h"
#include "carvex/link/port_discovery.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/printable_text.h"
#include "carvex/platform/whole_file.h"
#include "tools/carvexctl/card_job.h"
#include "tools/carvexctl/card_session.h"
#include "tools/carvexctl/card_snapshot.h"
#include "tools/carvexctl/card_workers.h"
#include "tools/carvexctl/command_failure.h"
#include "tools/carvexctl/snapshot.h"

namespace carvexctl {

namespace fs = std::filesystem;
using namespace cardwright;

namespace {

// Copies a file's bytes, so that what was checked is what every card gets. The copy's name is
// the file's after `role`, so that a setting file and a description of one name keep apart.
fs::path Keep(const fs::path& file, const fs::path& folder, std::string_view role) {
    const carvex::WholeFile whole = carvex::ReadWholeFile(file, IniFile::kMaxFileBytes);
    if (whole.error || whole.stamp.kind != carvex::FileStamp::Kind::kFile) {
        throw Refusal("cannot read " + file.string() +
                      (whole.error ? ": " + whole.error.message() : ""));
    }
    fs::path copy = folder / (std::string(role) + "-" + file.filename().string());
    const carvex::Replacement kept = carvex::ReplaceWholeFile(copy, whole.content);
    if (!kept.stamp) {
        throw Refusal("cannot keep a copy of " + file.string() + ": " + kept.error);
    }
    return copy;
}

// The lines a sequence logged, for a log that shows them only when the sequence failed.
class HeldLines : public LogSink {
  public:
    void AddLog(std::string_view message) override { lines.emplace_back(message); }
    std::vector<std::string> lines;
};

// A dry run's comparison: the card's bytes of every item the write would send.
std::optional<std::string> PlanOf(CardJob& job, const CardWrites& plan, CardPlan& listed) {
    for (const int32_t item : plan.order) {
        SavedNvItem saved;
        if (auto failure = ReadSavedItem(job.Card(), item, saved)) {
            return failure;
        }
        listed.items.push_back({item, saved.data, plan.nv.at(item)});
    }
    listed.file_port_setting = plan.port_setting;
    const CardPortSetting port_setting = ReadCardPortSetting(job.Card());
    listed.card_port_setting = port_setting.setting;
    return std::nullopt;
}

}  // namespace

BatchApply::BatchApply(carvex::DeviceRoot root, ApplyRequest request)
    : root_(std::move(root)), request_(std::move(request)) {
    // The files as named, for refusals in their own names; then the copies every card gets.
    const Description named(request_.description);
    if (const auto refusal = SettingFileRefusal(request_.settings, named.state)) {
        throw Refusal(*refusal);
    }
    settings_ = Keep(request_.settings, request_.run_folder, "settings");
    description_ = Keep(request_.description, request_.run_folder, "description");
    described_ = Description(description_).state;
    if (SettingFileRefusal(settings_, described_)) {
        throw Refusal(request_.settings.string() + " changed while it was being checked");
    }
    target_ = SettingFileTarget::Of(settings_);
    left_to_defaults_ = ItemsLeftToDefaults(described_.items, ValueBoxes(described_),
                                            IniFile(settings_), target_.new_version);
}

std::vector<CardOutcome> BatchApply::Run(const std::vector<int>& ports,
                                         ProgressBoard& board) const {
    std::vector<CardOutcome> outcomes(ports.size());
    RunOnWorkers(ports.size(), request_.jobs, [&](size_t index) {
        // What escapes a card's work ends that card only, never the others' threads.
        try {
            outcomes[index] = ApplyTo(ports[index], board, index);
        } catch (const std::exception& e) {
            outcomes[index].row.port = carvex::ComName(ports[index]);
            outcomes[index].row.result = WorkResult::Failed(std::nullopt, e.what());
        }
    });
    return outcomes;
}

CardOutcome BatchApply::ApplyTo(int port, ProgressBoard& board, size_t line) const {
    CardOutcome outcome;
    CardJob job(root_, port, request_.run_folder / (carvex::ComName(port) + ".log"), board, line);
    const auto finish = [&](WorkResult result) {
        outcome.row = job.Finish(std::move(result));
        return outcome;
    };
    if (!job.LogFailure().empty()) {
        return finish(WorkResult::Failed(WorkStep::kOpeningLog, job.LogFailure()));
    }

    // The steps of `write`: the card read, checked against the file, the file imported.
    CardWorkState state = described_;
    const IniFile description(description_);
    const WorkResult prepared =
        PrepareWrite(job.Seams(), job.View(), state, description, settings_, target_);
    // As the report shows them: printable, whatever bytes the card sent; empty when unread.
    const auto known = [](const std::string& text) {
        return text == kNoCommonInfo ? std::string() : carvex::PrintableText(text);
    };
    job.row.imei = known(state.info[CommonInfoRow::kImei]);
    job.row.firmware = known(state.info[CommonInfoRow::kFirmware]);
    job.row.card_type = carvex::PrintableText(state.card_type);
    if (!prepared.Ok()) {
        return finish(prepared);
    }

    // The Write's plan: the same Write against a card that is sent no write.
    job.Progress().Say("Planning the write...");
    RecordingCard planned(job.Card(), RecordingCard::Writes::kHoldBack);
    HeldLines plan_log;
    ProgressSink no_progress;
    CardWorkState plan_state = state;
    if (!CardWriter({planned, plan_log, no_progress, job.View()})
             .WriteToCard(plan_state, {.restart = request_.restart})
             .Ok()) {
        for (const std::string& logged : plan_log.lines) {
            job.Log().AddLog("(plan) " + logged);
        }
        return finish(WorkResult::Failed(WorkStep::kPlanning,
                                         "the write would not go through (see the log)"));
    }

    job.row.left_to_defaults = left_to_defaults_.captions;
    if (request_.dry_run) {
        CardPlan plan;
        if (const auto failure = PlanOf(job, planned.Written(), plan)) {
            return finish(WorkResult::Failed(WorkStep::kPlanning, *failure));
        }
        outcome.plan = std::move(plan);
        return finish(WorkResult::Done());
    }

    // No write before its snapshot is on the disk.
    if (const auto failure = SaveSnapshotBeforeWrite(job, planned.Written(), request_.snapshots,
                                                     request_.settings)) {
        return finish(WorkResult::Failed(WorkStep::kTakingSnapshot, *failure));
    }

    RecordingCard recorder(job.Card(), RecordingCard::Writes::kSend);
    WorkResult written = CardWriter({recorder, job.Log(), job.Progress(), job.View()})
                             .WriteToCard(state, {.restart = request_.restart});
    job.row.nv_written = recorder.Written().nv.size();
    if (!written.Ok()) {
        if (!recorder.Written().nv.empty()) {
            written.reason = (written.reason.empty() ? "see the log" : written.reason) +
                             "; what was written before stays on the card";
        }
        return finish(std::move(written));
    }
    return finish(AwaitAndReadBack(job, recorder.Written(), request_.restart, request_.limits));
}

std::vector<int> CardsToWork(const carvex::DeviceRoot& root, const std::vector<int>& named) {
    if (!named.empty()) {
        return named;
    }
    std::vector<int> ports;
    for (const carvex::DiagPortEntry& entry : carvex::ListDiagPorts(root)) {
        if (std::find(ports.begin(), ports.end(), entry.com) == ports.end()) {
            ports.push_back(entry.com);
        }
    }
    return ports;
}

fs::path MakeRunFolder(const fs::path& parent) {
    std::error_code error;
    fs::create_directories(parent, error);
    if (error) {
        throw Refusal("cannot make the folder " + parent.string() + ": " + error.message());
    }
    const std::string stem = UtcText(carvex::GetClock().WallNow(), true);
    fs::path folder = parent / stem;
    for (int again = 2; !fs::create_directory(folder, error); ++again) {
        if (error) {
            throw Refusal("cannot make the folder " + folder.string() + ": " + error.message());
        }
        folder = parent / (stem + "-" + std::to_string(again));
    }
    return folder;
}

}  // namespace carvexctl
