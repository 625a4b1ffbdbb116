#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/card/work_result.h"

namespace cardwright {

// How an operation on one item ended. kBroken: the item's description holds a text that cannot
// be used as a number; the line naming it is logged, and the sequence closes the card and ends as
// failed.
enum class ItemOutcome { kDone, kFailed, kBroken };

// The message box of the identity check.
inline constexpr std::string_view kCardDifferentMessage =
    "Datacard is different,please read again.";

// The refusal of a Write, Import or Export by the identity check: why the card could not be
// asked, as the card seam tells it, or else that it is not the card read.
WorkResult CardDifferent(CardAccess& card);

// One item as a read left it.
struct ItemReading {
    std::string name;
    std::string nv_item;  // its NV_ID: a number, a field list, or "-101" for the port setting
    bool read = false;
    int32_t status = 0;  // the request status of a failed read
    // The text its value box shows after the read; nullopt when it shows nothing.
    std::optional<std::string> shown;
};

// A text the card sent: up to its first zero byte, and never past a line break, so nothing the
// card says can add lines to a log or keys to a file.
std::string CardText(std::string_view raw);

// Reading a card into the values of a CardWorkState: the card's identity and versions, its
// generation and type (and the filter they call for), the LED table, every item and the device
// state. What is read is shown as it comes, through the values and the view.
class CardReader {
  public:
    explicit CardReader(const CardWorkSeams& seams) : seams_(seams) {}

    // The whole read, between one open and one close of the card. It fails when the card could
    // not be opened (the newer-generation filter then applies), or when an item's description or
    // the card going away broke the read off; items that could not be read do not make it fail.
    WorkResult ReadFromCard(CardWorkState& state, const IniFile& description);
    // ReadFromCard and the closing line: "Read from datacard succeed..." or "Failed to read data
    // from datacard...".
    WorkResult ReadFromCardAndReport(CardWorkState& state, const IniFile& description);
    // Every item the last read asked for, in list order.
    const std::vector<ItemReading>& Readings() const { return readings_; }

    // Opens the card, asks its type and closes it again; empty when it could not be asked.
    std::string ReadCardType();
    // The identity check of Write, Import and Export: the card's type must be the one recorded
    // by the last read (two empty texts are equal). When it is not, that is logged and told.
    bool SameCardAs(std::string_view recorded);

    // These expect the card to be open.
    void ReadCardInfo(CardWorkState& state);
    bool ReadLedInfo(CardWorkState& state);
    // False when an item's description cannot be used (logged) or the card has gone: the read
    // is to be broken off.
    bool ReadCommonItems(CardWorkState& state, std::vector<ItemReading>* readings = nullptr);
    // Reads the NV items of a multi-value item and shows what was read (also after a failed
    // read, which leaves its request status in `status`). Not read without a value box.
    ItemOutcome ReadMultiValueItem(CardWorkState& state, const TConfigItem& item, int32_t& status);
    bool ReadDeviceState(CardWorkState& state, std::vector<ItemReading>* readings = nullptr);

    // Shows an item's value from its NV item's data; false (logged) when its NV_BYTE is no usable
    // number. Items without a value box are left alone.
    bool ShowNvValue(CardWorkState& state, const TConfigItem& item, std::span<const uint8_t> data);
    // Shows an item's default as its value, for an NV item the card does not hold.
    void ShowNvDefault(CardWorkState& state, const TConfigItem& item);

  private:
    void Log(std::string_view message) { seams_.log.AddLog(message); }
    void Report(const WorkProgress& progress) {
        step_ = progress.step;
        seams_.progress.Report(progress);
    }
    void Report(WorkStep step) { Report({step, 0, 0, {}}); }
    void ShowInfo(CardWorkState& state, CommonInfoRow row, std::string text);
    // After a call that failed with `status` (none, for the calls that give none): whether the
    // card has gone. Asked only when the card gave no status of its own; logged once.
    bool Lost(std::optional<int32_t> status = std::nullopt);

    CardWorkSeams seams_;
    bool lost_ = false;
    WorkStep step_ = WorkStep::kOpeningCard;
    std::vector<ItemReading> readings_;
};

// Why the card cannot be used, as the card seam tells it, or `otherwise` when it cannot.
std::string CardTrouble(CardAccess& card, std::string_view otherwise);

// What the log says when the card went away during a command.
inline constexpr std::string_view kCardGoneMessage =
    "The datacard is gone: it was unplugged or is restarting...";

}  // namespace cardwright
