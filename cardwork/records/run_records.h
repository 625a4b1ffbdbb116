#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cardwork/batch/card_record.h"
#include "cardwork/records/record_store.h"

namespace cardwright {

// The record a store keeps of a card's attempt, made from the one the work kept.
StoredRecord StoredOf(const CardRecord& record);

// A run's records kept in a store: each card's record begun when its work begins, the step it
// reaches noted as it goes (so that the record of work broken off by a kill tells where), and
// completed when the work ends. It is the run's record sink and an observer in front of the one
// given, to which it passes on everything. A card whose record could not be begun is not written:
// its work ends before the first write. Called on each card's own thread.
class RunRecords : public RecordSink, public CardObserver {
  public:
    // `next` (which may be null) is told everything this observer is.
    RunRecords(RecordStore& store, CardObserver* next);

    void Begin(const CardRecord& record) override;
    void Complete(const CardRecord& record) override;
    // Completes the record as Complete does; why it could not be saved, or nullopt when it was.
    std::optional<std::string> Save(const CardRecord& record);

    void Begun(const CardRecord& record) override;
    void Progress(const CardRecord& record, const WorkProgress& progress) override;
    std::optional<WorkResult> Admit(const CardRecord& record) override;
    std::string EarlierSnapshot(const CardRecord& record) override;
    std::optional<WorkResult> BeforeWrite(const CardRecord& record) override;
    void Ended(const CardRecord& record) override;

    // The records that could not be written, a line each ("COM12: <why>"); empty when all were.
    std::vector<std::string> Failures() const;

  private:
    RecordStore& store_;
    CardObserver* next_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> steps_;    // by UUID: the step last noted
    std::map<std::string, std::string> unbegun_;  // by UUID: why its record could not be begun
    std::vector<std::string> failures_;
};

}  // namespace cardwright
