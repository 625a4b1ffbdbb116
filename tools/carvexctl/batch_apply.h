#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "cardwork/model/defaulted_items.h"
#include "cardwork/model/item_value.h"
#include "cardwork/model/nv_compose.h"
#include "carvex/platform/device_root.h"
#include "tools/carvexctl/apply_report.h"
#include "tools/carvexctl/card_return.h"
#include "tools/carvexctl/card_work_steps.h"
#include "tools/carvexctl/progress_board.h"

namespace carvexctl {

// What `apply` is asked to do.
struct ApplyRequest {
    std::filesystem::path settings;
    std::filesystem::path description;
    size_t jobs = 0;                   // cards worked at once; 0: all
    std::filesystem::path snapshots;   // the folder the snapshots go into
    std::filesystem::path run_folder;  // a log per card, and the files as they were checked
    bool dry_run = false;
    bool restart = true;
    ReturnLimits limits;
};

// One NV item of a dry run: what the card holds and what the write would send.
struct PlannedItem {
    int32_t item = 0;
    std::optional<cardwright::NvData> card;  // nullopt: the card does not hold it
    cardwright::NvData file{};
};

struct CardPlan {
    std::vector<PlannedItem> items;
    std::optional<cardwright::DeviceState> card_port_setting;
    std::optional<cardwright::DeviceState> file_port_setting;  // nullopt: not written
};

struct CardOutcome {
    ReportRow row;
    std::optional<CardPlan> plan;  // a dry run's, when it got that far
};

// One setting file onto many cards at once: on each card, on a connection and a thread of its
// own, the steps of `carvexctl write` (the card read as the configurator reads it, its card type
// and generation checked against the file's, the file imported, the Write), with a snapshot of
// everything the write changes taken before its first write, and after the card's restart every
// written byte read back.
class BatchApply {
  public:
    // Checks the description and the setting file (its seal, every value, the check before
    // writing) and keeps copies of both in the run folder, so that every card gets the file as
    // it was checked. Throws Refusal, having touched no card.
    BatchApply(carvex::DeviceRoot root, ApplyRequest request);

    // Works the cards whose PC UI interfaces are these COM ports; one outcome per port, in
    // order. No card's failure stops or holds up another.
    std::vector<CardOutcome> Run(const std::vector<int>& ports, ProgressBoard& board) const;

    // The items the setting file names no value for, which every card written gets at their
    // defaults.
    const cardwright::DefaultedItems& LeftToDefaults() const { return left_to_defaults_; }

  private:
    CardOutcome ApplyTo(int port, ProgressBoard& board, size_t line) const;

    carvex::DeviceRoot root_;
    ApplyRequest request_;
    std::filesystem::path settings_;     // the copy
    std::filesystem::path description_;  // the copy
    SettingFileTarget target_;
    cardwright::CardWorkState described_;
    cardwright::DefaultedItems left_to_defaults_;
};

// The cards a command works on: those named, or every card of the device root in the order of
// its Ports list.
std::vector<int> CardsToWork(const carvex::DeviceRoot& root, const std::vector<int>& named);

// A new folder for one run's logs under `parent` (made when missing), named by the UTC time.
// Throws Refusal when it cannot be made.
std::filesystem::path MakeRunFolder(const std::filesystem::path& parent);

}  // namespace carvexctl
