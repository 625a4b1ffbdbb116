#include "cardwork/batch/batch_apply.h"

#include <algorithm>

#include "cardwork/batch/card_snapshot.h"
#include "cardwork/batch/card_workers.h"
#include "cardwork/batch/sha256.h"
#include "cardwork/batch/work_refusal.h"
#include "cardwork/card/card_writer.h"
#include "cardwork/model/setting_crc.h"
#include "carvex/link/port_discovery.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/printable_text.h"
#include "carvex/platform/whole_file.h"

namespace cardwright {

namespace fs = std::filesystem;

namespace {

// A file's bytes as they were checked; refused when it cannot be read.
std::string Bytes(const fs::path& file) {
    const carvex::WholeFile whole = carvex::ReadWholeFile(file, IniFile::kMaxFileBytes);
    if (whole.error || whole.stamp.kind != carvex::FileStamp::Kind::kFile) {
        throw WorkRefusal("cannot read " + file.string() +
                          (whole.error ? ": " + whole.error.message() : ""));
    }
    return whole.content;
}

// Keeps a file's bytes in the run folder, so that what was checked is what every card gets. The
// copy's name is the file's after `role`, so that a setting file and a description of one name
// keep apart.
fs::path Keep(const fs::path& file, const std::string& bytes, const fs::path& folder,
              std::string_view role) {
    fs::path copy = folder / (std::string(role) + "-" + file.filename().string());
    const carvex::Replacement kept = carvex::ReplaceWholeFile(copy, bytes);
    if (!kept.stamp) {
        throw WorkRefusal("cannot keep a copy of " + file.string() + ": " + kept.error);
    }
    return copy;
}

// The lines a sequence logged, for a log that shows them only when the sequence failed.
class HeldLines : public LogSink {
  public:
    void AddLog(std::string_view message) override { lines.emplace_back(message); }
    std::vector<std::string> lines;
};

// As the record shows them: printable, whatever bytes the card sent; empty when unread.
std::string Known(const std::string& text) {
    return text == kNoCommonInfo ? std::string() : carvex::PrintableText(text);
}

}  // namespace

BatchApply::BatchApply(carvex::DeviceRoot root, ApplyRequest request)
    : root_(std::move(root)), request_(std::move(request)) {
    // The files as named, for refusals in their own names; then the copies every card gets.
    const Description named(request_.description);
    if (const auto refusal = SettingFileRefusal(request_.settings, named.state)) {
        throw WorkRefusal(*refusal);
    }
    const std::string settings_bytes = Bytes(request_.settings);
    const std::string description_bytes = Bytes(request_.description);
    settings_ = Keep(request_.settings, settings_bytes, request_.run_folder, "settings");
    description_ =
        Keep(request_.description, description_bytes, request_.run_folder, "description");
    described_ = Description(description_).state;
    if (SettingFileRefusal(settings_, described_)) {
        throw WorkRefusal(request_.settings.string() + " changed while it was being checked");
    }
    target_ = SettingFileTarget::Of(settings_);
    left_to_defaults_ = ItemsLeftToDefaults(described_.items, ValueBoxes(described_),
                                            IniFile(settings_), target_.new_version);
    facts_ = request_.facts;
    facts_.settings_file = request_.settings.string();
    const int64_t seal = StoredSettingCrc(IniFile(settings_));
    facts_.settings_crc = seal < 0 ? std::string() : std::to_string(seal);
    facts_.settings_sha256 = Sha256Hex(settings_bytes);
    facts_.description_sha256 = Sha256Hex(description_bytes);
}

std::vector<CardRecord> BatchApply::Run(const std::vector<int>& ports,
                                        const CardHooks& hooks) const {
    std::vector<CardRecord> records(ports.size());
    RunOnWorkers(ports.size(), request_.jobs, [&](size_t index) {
        if (hooks.stop != nullptr && hooks.stop->Stopping()) {
            records[index] = NotBegun(ports[index], facts_);
            return;
        }
        records[index] = ApplyTo(ports[index], hooks);
    });
    return records;
}

CardRecord BatchApply::ApplyTo(int port, const CardHooks& hooks) const {
    // What escapes a card's work ends that card only, never the others' threads.
    std::optional<CardJob> job;
    try {
        job.emplace(root_, port, request_.run_folder, facts_, hooks);
        job->Begin();
        return job->Finish(Work(*job));
    } catch (const std::exception& e) {
        if (job) {
            job->Log().AddLog(std::string("The card's work ended: ") + e.what() + "...");
            return job->Finish(WorkResult::Failed(std::nullopt, e.what()));
        }
        CardRecord record = NotBegun(port, facts_);
        record.result = WorkResult::Failed(std::nullopt, e.what());
        return record;
    }
}

WorkResult BatchApply::Work(CardJob& job) const {
    if (!job.Log().Failure().empty()) {
        return WorkResult::Failed(WorkStep::kOpeningLog, job.Log().Failure());
    }

    // The steps of a write: the card read, checked against the file, the file imported.
    CardWorkState state = described_;
    const IniFile description(description_);
    WorkResult prepared =
        PrepareWrite(job.Seams(), job.View(), state, description, settings_, target_);
    job.Identified(Known(state.info[CommonInfoRow::kImei]),
                   Known(state.info[CommonInfoRow::kFirmware]),
                   carvex::PrintableText(state.card_type));
    if (!prepared.Ok()) {
        return prepared;
    }
    if (auto refused = job.Observer().Admit(job.record)) {
        return *refused;
    }

    // The Write's plan: the same Write against a card that is sent no write.
    job.Progress().Step(WorkStep::kPlanning);
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
        return WorkResult::Failed(WorkStep::kPlanning,
                                  "the write would not go through (see the log)");
    }

    job.record.left_to_defaults = left_to_defaults_.captions;
    const CaptionsOfItem captions = [this](int32_t item) { return CaptionsOf(described_, item); };
    if (request_.dry_run) {
        if (const auto failure = ComparePlan(job, planned.Written(), captions)) {
            return WorkResult::Failed(WorkStep::kPlanning, *failure);
        }
        return WorkResult::Done();
    }

    // A run told to stop writes no card it has not begun writing.
    if (job.Stop().Stopping()) {
        job.Log().AddLog("Stopped (" + job.Stop().Why() +
                         ") before the first write: nothing was "
                         "written...");
        return WorkResult::Interrupted(WorkStep::kPlanning);
    }
    // No write before its snapshot is on the disk.
    std::string earlier = job.Observer().EarlierSnapshot(job.record);
    if (std::error_code error; !earlier.empty() && !fs::exists(earlier, error) && !error) {
        // Pruned or removed by hand: the card as it was before that attempt is known nowhere
        // now, and a card that waited for that file would never be written again.
        job.Log().AddLog("The snapshot an earlier attempt took before writing, " + earlier +
                         ", is gone: a new one is taken of the card as it is now, with what "
                         "that attempt wrote...");
        earlier.clear();
    }
    if (const auto failure =
            earlier.empty() ? SaveSnapshotBeforeWrite(job, planned.Written(), request_.snapshots,
                                                      request_.settings, "apply", captions)
                            : KeepEarlierSnapshot(job, planned.Written(), earlier, captions)) {
        return WorkResult::Failed(WorkStep::kTakingSnapshot, *failure);
    }
    if (const auto held = job.Observer().BeforeWrite(job.record)) {
        return *held;
    }
    // The before-hook may have run for most of the grace: a card stopped meanwhile is not
    // begun now, when its write could not end before the work is broken off.
    if (job.Stop().Stopping()) {
        job.Log().AddLog("Stopped (" + job.Stop().Why() +
                         ") while the before-hook ran: nothing was written...");
        return WorkResult::Interrupted(WorkStep::kTakingSnapshot);
    }

    RecordingCard recorder(job.Card(), RecordingCard::Writes::kSend);
    WorkResult written = CardWriter({recorder, job.Log(), job.Progress(), job.View()})
                             .WriteToCard(state, {.restart = request_.restart});
    job.record.nv_written = recorder.Written().nv.size();
    if (!written.Ok()) {
        if (!recorder.Written().nv.empty()) {
            job.Log().AddLog("What was written before the write failed stays on the card...");
            written.reason = (written.reason.empty() ? "see the log" : written.reason) +
                             "; what was written before stays on the card";
        }
        return written;
    }
    return AwaitAndReadBack(job, recorder.Written(), request_.restart, request_.limits);
}

CardRecord NotBegun(int port, const RunFacts& facts) {
    CardRecord record;
    record.run = facts;
    record.port = carvex::ComName(port);
    record.started = record.ended = carvex::GetClock().WallNow();
    record.result = WorkResult::Interrupted(WorkStep::kOpeningCard);
    return record;
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

}  // namespace cardwright
