#include <optional>

#include "cardwork/records/record_store.h"
#include "cardwork/records/run_records.h"
#include "tools/carvexctl/command_failure.h"
#include "tools/carvexctl/records_command.h"
#include "tools/carvexctl/run_recording.h"

namespace carvexctl {

struct RunRecording::Kept {
    explicit Kept(const std::filesystem::path& db) : store(db) {}
    cardwright::RecordStore store;
    std::optional<cardwright::RunRecords> records;
};

RunRecording::RunRecording(const RunRecordOptions& options) {
    try {
        kept_ = std::make_unique<Kept>(RecordsPath(options.records));
    } catch (const cardwright::RecordStoreError& error) {
        throw Refusal(std::string("the records cannot be kept: ") + error.what());
    }
}

RunRecording::~RunRecording() = default;

cardwright::CardHooks RunRecording::Hooks(cardwright::CardObserver& next,
                                          const cardwright::WorkStop& stop) {
    kept_->records.emplace(kept_->store, &next);
    return {.observer = &*kept_->records, .records = &*kept_->records, .stop = &stop};
}

void RunRecording::Check() const {
    if (!kept_->records) {
        return;
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
