#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/card/card_reader.h"
#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"

namespace cardwright {

// One NV item (or the port setting) as a Write left it.
struct ItemWriting {
    std::string name;     // the item
    std::string nv_item;  // the NV_ID written: one field of a multi-value item, "-101"
    ItemOutcome outcome = ItemOutcome::kDone;
    bool sent = false;  // the card was asked to write it
};

struct WriteOptions {
    bool restart = true;  // the card restarts after its backup
};

// The check before writing: every ticked item shows something, every user-input number fits its
// TYPE, and a LED table that is to be written holds times the card can keep. Logs the failure,
// or "Data valid check OK...".
bool ValidateItems(const CardWorkState& state, LogSink& log);

// Writing the values of a CardWorkState to a card: every item in list order with the sharing
// rules of its NV item, the device state once, the LED table, then the card's backup and restart.
class CardWriter {
  public:
    static constexpr std::string_view kPortSettingLeft =
        "Port setting not written: no device state shown...";

    explicit CardWriter(const CardWorkSeams& seams) : seams_(seams) {}

    // The whole Write up to its closing log line ("Write to datacard succeed..." or "Failed to
    // write info..."): the unticked items back at their defaults, the values' check, the
    // identity check, then the card work. Nothing is written when a check fails. Writes made
    // before a failure stay on the card. A failure on the card names what it failed at: the
    // first item's DISPLAY text, kLedPart or kBackupPart.
    WorkResult WriteToCard(CardWorkState& state, const WriteOptions& options = {});

    // These expect the card to be open.
    // Composes and writes the NV item of an item of the state's list or of a single record.
    ItemOutcome WriteItem(const CardWorkState& state, const TConfigItem& record);
    // WriteItem for each NV item of a multi-value item, up to the first failure.
    ItemOutcome WriteMultiValueItem(const CardWorkState& state, const TConfigItem& item);
    bool WriteDeviceState(const CardWorkState& state);
    bool WriteLedInfo(const CardWorkState& state);
    // The end of a Write: the card's backup, then with `restart` its restart, logged as the
    // Write logs them. False when the backup failed; CardWorkResult then tells the failure.
    bool BackUpAndRestart(bool restart);
    // What the work on the open card came to, after a step of it failed.
    WorkResult CardWorkResult() const;

    // The device state is written once per Write, however many device-state items there are,
    // and never from nothing: when no device-state item shows a value it was given (by a read, a
    // file or the user), the card keeps its port setting rather than take the described defaults,
    // which could switch off the ports it is reached through.
    bool PortSettingWritten() const { return port_setting_written_; }
    bool PortSettingLeft() const { return port_setting_left_; }
    // What WriteItem did, item by item, since the Write began.
    const std::vector<ItemWriting>& Written() const { return written_; }

    static constexpr std::string_view kLedPart = "the LED settings";
    static constexpr std::string_view kBackupPart = "the backup";

  private:
    bool WriteConfigItems(const CardWorkState& state);
    // Whether a device-state item shows a value it was given.
    static bool DeviceStateGiven(const CardWorkState& state);
    ItemOutcome Note(const TConfigItem& record, ItemOutcome outcome, bool sent);
    void Log(std::string_view message) { seams_.log.AddLog(message); }
    // A step that failed at `what`, the first one noted; when the card failed it (`outcome`
    // kFailed), whether the card has gone (logged once).
    bool FailedAt(WorkStep step, std::string_view what, ItemOutcome outcome = ItemOutcome::kFailed);
    CardWorkSeams seams_;
    bool port_setting_written_ = false;
    bool port_setting_left_ = false;
    std::vector<ItemWriting> written_;
    std::optional<WorkResult> failure_;
    bool lost_ = false;
};

}  // namespace cardwright
