#pragma once

#include <chrono>

#include "cardwork/records/stored_record.h"

namespace cardwright {

class RecordStore;

// A card's record from the moment its work begins until it is completed: begun in the store when
// made, completed by Complete(). One that goes without being completed (the work broke off by an
// exception) is completed as interrupted at the step it was at, so that it does not stay in
// progress for as long as its process runs.
class RecordInProgress {
  public:
    // Begins the record (its UUID, owner and start given by the store). Throws RecordStoreError.
    RecordInProgress(RecordStore& store, StoredRecord record);
    ~RecordInProgress();
    RecordInProgress(const RecordInProgress&) = delete;
    RecordInProgress& operator=(const RecordInProgress&) = delete;

    StoredRecord& Record() { return record_; }
    // Saves what the record has learnt so far. Throws RecordStoreError.
    void Note();
    // Saves the record with its end (StoredRecord::End() given before), items and all; its end time
    // and seconds, when not given, are now and the time since it began. Throws RecordStoreError,
    // and the record counts as completed all the same: it is not tried again.
    void Complete();

  private:
    void Stamp();

    RecordStore& store_;
    StoredRecord record_;
    // The seconds are measured on a clock that the wall clock's corrections do not move.
    std::chrono::steady_clock::time_point began_;
    bool completed_ = false;
};

}  // namespace cardwright
