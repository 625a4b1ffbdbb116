#include "cardwork/records/record_in_progress.h"

#include "cardwork/records/record_store.h"

namespace cardwright {

RecordInProgress::RecordInProgress(RecordStore& store, StoredRecord record)
    : store_(store), record_(std::move(record)), began_(std::chrono::steady_clock::now()) {
    store_.Begin(record_);
}

RecordInProgress::~RecordInProgress() {
    if (completed_) {
        return;
    }
    record_.result = record_.step.empty() ? "interrupted" : "interrupted at " + record_.step;
    record_.outcome = RecordOutcome::kInterrupted;
    Stamp();
    try {
        store_.Complete(record_);
    } catch (const RecordStoreError&) {
        // Left in progress: the next open after this process ends marks it.
    }
}

void RecordInProgress::Stamp() {
    if (!record_.ended) {
        record_.ended = std::chrono::system_clock::now();
    }
    if (!record_.seconds) {
        record_.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
    }
}

void RecordInProgress::Note() {
    store_.Note(record_);
}

void RecordInProgress::Complete() {
    completed_ = true;
    Stamp();
    store_.Complete(record_);
}

}  // namespace cardwright
