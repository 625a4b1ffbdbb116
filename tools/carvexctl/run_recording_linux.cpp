#include <iostream>
#include <optional>

#include "cardwork/records/record_store.h"
#include "cardwork/records/run_records.h"
#include "tools/carvexctl/central_forwarding.h"
#include "tools/carvexctl/command_failure.h"
#include "tools/carvexctl/records_command.h"
#include "tools/carvexctl/run_recording.h"

namespace carvexctl {

struct RunRecording::Kept {
    explicit Kept(const std::filesystem::path& db) : store(db) {}
    cardwright::RecordStore store;
    std::optional<cardwright::RunRecords> records;
    std::optional<cardwright::CentralAddress> address;
    RunRecordOptions options;
    std::optional<CentralForwarding> central;
};

RunRecording::RunRecording(const RunRecordOptions& options) {
    // Checked before anything is opened or made: a refused address changes nothing.
    std::optional<cardwright::CentralAddress> central;
    if (!options.central.empty()) {
        central = CentralAddressOf(options.central);
    }
    try {
        kept_ = std::make_unique<Kept>(RecordsPath(options.records));
    } catch (const cardwright::RecordStoreError& error) {
        throw Refusal(std::string("the records cannot be kept: ") + error.what());
    }
    kept_->address = std::move(central);
    kept_->options = options;
}

RunRecording::~RunRecording() = default;

cardwright::CardHooks RunRecording::Hooks(cardwright::CardObserver& next,
                                          const cardwright::WorkStop& stop) {
    kept_->records.emplace(kept_->store, &next);
    // Started here, after the run's stop signals: its thread takes their mask from its maker.
    if (kept_->address && !kept_->central) {
        kept_->central.emplace(kept_->store, std::move(*kept_->address), kept_->options);
    }
    return {.observer = &*kept_->records, .records = &*kept_->records, .stop = &stop};
}

void RunRecording::Check() const {
    if (!kept_->records) {
        return;
    }
    if (kept_->central) {
        // The run's records, and any an earlier run left queued.
        const cardwright::ForwarderStatus status = kept_->central->Get().Drain(kLastForward);
        if (status.waiting == 0) {
            std::cerr << "carvexctl: the records are forwarded to "
                      << kept_->central->Address().Description() << "\n";
        } else {
            std::cerr << "carvexctl: central records: " << status.waiting << " waiting ("
                      << (status.reason.empty() ? "still being sent" : status.reason)
                      << "); they go with the next run with --central, or with carvexctl "
                         "records --forward\n";
        }
    }
    const std::vector<std::string> failures = kept_->records->Failures();
    if (failures.empty()) {
        return;
    }
    std::string text = std::to_string(failures.size()) + " record(s) could not be written:";
    for (const std::string& failure : failures) {
        text += "\n  " + failure;
    }
    throw Failure(text);
}

}  // namespace carvexctl
