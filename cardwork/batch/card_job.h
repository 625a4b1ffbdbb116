#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "cardwork/batch/card_log.h"
#include "cardwork/batch/card_record.h"
#include "cardwork/batch/card_return.h"
#include "cardwork/batch/held_card.h"
#include "cardwork/batch/recording_card.h"
#include "cardwork/batch/stoppable_card.h"
#include "cardwork/batch/work_stop.h"
#include "cardwork/batch/write_steps.h"
#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/connection_card.h"
#include "carvex/platform/modem_manager.h"

namespace cardwright {

// Who is told as each card of a run goes, and what stops the run from outside; each may be
// null. The objects must outlive the run.
struct CardHooks {
    CardObserver* observer = nullptr;
    RecordSink* records = nullptr;
    const WorkStop* stop = nullptr;
};

// The work of one card, on its own thread: its connection (held open from the first open to the
// restart, and given no further call once the work is broken off), the card borrowed from
// ModemManager, its log file, and its record, which the run's record sink is given when the work
// begins and when it ends. A sink that took the Begin is given one Complete, whatever throws.
class CardJob {
  public:
    // The card's log goes into `folder`; its record carries `facts`.
    CardJob(const carvex::DeviceRoot& root, int port, const std::filesystem::path& folder,
            const RunFacts& facts, const CardHooks& hooks);
    CardJob(const CardJob&) = delete;
    CardJob& operator=(const CardJob&) = delete;

    const carvex::DeviceRoot& Root() const { return root_; }
    int Port() const { return port_; }
    HeldCard& Card() { return held_; }
    CardLog& Log() { return log_; }
    ProgressSink& Progress() { return progress_; }
    UnattendedView& View() { return view_; }
    CardWorkSeams Seams() { return {held_, log_, progress_, view_}; }
    const WorkStop& Stop() const { return stop_ ? *stop_ : kNeverStopped; }
    CardObserver& Observer() { return observer_ ? *observer_ : kNobody; }

    // Tells the record sink and the observer that the work begins. What they throw ends the
    // card's work (through Finish), never before the sink that took the Begin is completed.
    void Begin();

    // The card's identity as it was read; the log is named after its IMEI from here on.
    void Identified(std::string imei, std::string firmware, std::string card_type);

    // Ends the job with `result`: a failure of a card whose work was broken off is "interrupted
    // at <step>" (which its log says too), the record is completed (seconds, retries) and given
    // to the record sink and the observer. What they throw is logged and ends nothing else; a
    // second Finish gives nobody the record again.
    CardRecord Finish(WorkResult result);

    CardRecord record;

  private:
    static const WorkStop kNeverStopped;
    static CardObserver kNobody;

    // The progress of the card's sequences, told to the observer with the record.
    class ToObserver : public ProgressSink {
      public:
        explicit ToObserver(CardJob& job) : job_(job) {}
        void Report(const WorkProgress& progress) override {
            job_.Observer().Progress(job_.record, progress);
        }

      private:
        CardJob& job_;
    };

    carvex::DeviceRoot root_;
    int port_;
    CardObserver* observer_;
    RecordSink* records_;
    const WorkStop* stop_;
    bool begun_ = false;  // the record sink took the Begin
    bool finished_ = false;
    std::chrono::steady_clock::time_point start_;
    CardLog log_;
    carvex::ModemManagerBorrow borrow_;  // from before the card is opened until the job ends
    ConnectionCard connection_;
    StoppableCard stoppable_;
    HeldCard held_;
    ToObserver progress_{*this};
    UnattendedView view_;
};

// A card's answer to the port setting query. The library answers the query as done but leaves
// the setting alone when the card says it holds no valid one.
struct CardPortSetting {
    bool answered = false;               // false: the query failed, with `status`
    std::optional<DeviceState> setting;  // one byte each; nullopt: none valid
    int32_t status = 0;
};
CardPortSetting ReadCardPortSetting(CardAccess& card);

// Who a card says it is, as a record names it: printable, empty where the card did not tell.
struct CardIdentity {
    std::string imei;
    std::string firmware;
    std::string card_type;
};
// The one way the batch work asks an open card who it is: its IMEI (NV item 550), firmware
// version and card type (the model its modem port names).
CardIdentity ReadCardIdentity(CardAccess& card);

// The end of a write on a card: its restart awaited (unless `restart` is false), the card checked
// to be the one written (by its IMEI, or without one by its port, firmware and card type), then
// every NV item and the port setting that `written` holds read back and compared byte for byte.
// Mismatching items go into the job's record.
WorkResult AwaitAndReadBack(CardJob& job, const CardWrites& written, bool restart,
                            const ReturnLimits& limits);

}  // namespace cardwright
