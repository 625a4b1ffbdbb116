#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/connection_card.h"
#include "cardwork/card/stream_log.h"
#include "carvex/platform/modem_manager.h"
#include "tools/carvexctl/apply_report.h"
#include "tools/carvexctl/card_return.h"
#include "tools/carvexctl/card_work_steps.h"
#include "tools/carvexctl/held_card.h"
#include "tools/carvexctl/progress_board.h"
#include "tools/carvexctl/recording_card.h"

namespace carvexctl {

// Where a card's progress goes: its line of the board.
class BoardProgress : public cardwright::ProgressSink {
  public:
    BoardProgress(ProgressBoard& board, size_t line) : board_(board), line_(line) {}
    void Report(const cardwright::WorkProgress& progress) override;
    void Say(std::string text) { board_.Show(line_, std::move(text)); }

  private:
    ProgressBoard& board_;
    size_t line_;
};

// The work of one command on one card, on its own thread: its connection (held open from the
// first open to the restart), the card borrowed from ModemManager, its log file, its line of the
// progress board and its report row.
class CardJob {
  public:
    CardJob(const carvex::DeviceRoot& root, int port, const std::filesystem::path& log,
            ProgressBoard& board, size_t line);
    CardJob(const CardJob&) = delete;
    CardJob& operator=(const CardJob&) = delete;

    const carvex::DeviceRoot& Root() const { return root_; }
    int Port() const { return port_; }
    HeldCard& Card() { return held_; }
    cardwright::LogSink& Log() { return log_; }
    BoardProgress& Progress() { return progress_; }
    CommandLineView& View() { return view_; }
    cardwright::CardWorkSeams Seams() { return {held_, log_, progress_, view_}; }
    // Why the card's log file could not be opened for writing, or empty: the card is then not
    // touched.
    const std::string& LogFailure() const { return log_failure_; }

    // The row so far, with its result and the seconds since the job began; the line of the
    // board shows the result.
    ReportRow Finish(cardwright::WorkResult result);

    ReportRow row;

  private:
    carvex::DeviceRoot root_;
    int port_;
    std::chrono::steady_clock::time_point start_;
    std::string log_failure_;  // before the log file, which sets it
    std::ofstream log_file_;
    cardwright::StreamLog log_;
    carvex::ModemManagerBorrow borrow_;  // from before the card is opened until the job ends
    cardwright::ConnectionCard connection_;
    HeldCard held_;
    BoardProgress progress_;
    CommandLineView view_{false};
};

// A card's answer to the port setting query. The library answers the query as done but leaves
// the setting alone when the card says it holds no valid one.
struct CardPortSetting {
    bool answered = false;                           // false: the query failed, with `status`
    std::optional<cardwright::DeviceState> setting;  // one byte each; nullopt: none valid
    int32_t status = 0;
};
CardPortSetting ReadCardPortSetting(cardwright::CardAccess& card);

// What a card reports of itself besides its IMEI, as the report shows it.
struct CardIdentity {
    std::string firmware;
    std::string card_type;
};
CardIdentity ReadCardIdentity(cardwright::CardAccess& card);

// The end of a write on a card: its restart awaited (unless `restart` is false), the card checked
// to be the one written (by its IMEI, or without one by its port, firmware and card type), then
// every NV item and the port setting that `written` holds read back and compared byte for byte.
// Mismatching items go into the job's row.
cardwright::WorkResult AwaitAndReadBack(CardJob& job, const CardWrites& written, bool restart,
                                        const ReturnLimits& limits);

}  // namespace carvexctl
