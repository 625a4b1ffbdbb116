#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "cardwork/batch/card_job.h"
#include "cardwork/batch/card_record.h"

namespace CLI {
class App;
}  // namespace CLI

namespace carvexctl {

// Where apply and restore keep the record of each card, and what every record says of the run.
struct RunRecordOptions {
    std::string records;  // the database; empty: $XDG_STATE_HOME/carvex/records.db
    std::string station;  // empty: the host name
    std::string operator_name;
    std::string work_order;
    std::string central;            // the central database's address; empty: the records stay here
    double central_retry_max = 30;  // seconds between tries at most
};

// Adds --records, --station, --operator, --work-order, --central and --central-retry-max to
// `command`.
void AddRunRecordOptions(CLI::App* command, RunRecordOptions& options);

// Puts the station (the host name unless given), operator and work order into `facts`, which
// every card's record and the run's summary carry.
void PutRunFacts(const RunRecordOptions& options, cardwright::RunFacts& facts);

// The records of one run of apply or restore: each card's record begun in the database when its
// work begins and completed when it ends. On Windows, which keeps no records, it says so once and
// keeps none.
class RunRecording {
  public:
    // Opens the database. Throws Refusal when it cannot be used, before any card is touched.
    explicit RunRecording(const RunRecordOptions& options);
    ~RunRecording();
    RunRecording(const RunRecording&) = delete;
    RunRecording& operator=(const RunRecording&) = delete;

    // The hooks the run's cards are given: the records kept, and `next` (the run's own observer)
    // told everything as before; `stop` stops the run.
    cardwright::CardHooks Hooks(cardwright::CardObserver& next, const cardwright::WorkStop& stop);
    // With --central, forwards what waits for up to kLastForward (what is left stays queued for
    // the next run) and says how that went. Then throws Failure naming the records that could
    // not be written.
    void Check() const;

    static constexpr std::chrono::seconds kLastForward{10};

  private:
    struct Kept;
    std::unique_ptr<Kept> kept_;
};

}  // namespace carvexctl
