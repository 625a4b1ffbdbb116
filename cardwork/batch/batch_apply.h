#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cardwork/batch/card_job.h"
#include "cardwork/batch/card_record.h"
#include "cardwork/batch/card_return.h"
#include "cardwork/batch/write_steps.h"
#include "cardwork/model/defaulted_items.h"
#include "carvex/platform/device_root.h"

namespace cardwright {

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
    // Who runs it and where (the tool's version, a station's name ...); the files' names and
    // fingerprints are filled in when they have been checked.
    RunFacts facts;
};

// One setting file onto many cards at once: on each card, on a connection and a thread of its
// own, the steps of a write without a window (the card read as the configurator reads it, its
// card type and generation checked against the file's, the file imported, the Write), with a
// snapshot of everything the write changes taken before its first write, and after the card's
// restart every written byte read back. A dry run stops before the snapshot, with each item's
// bytes before and after in the card's record.
class BatchApply {
  public:
    // Checks the description and the setting file (its seal, every value, the check before
    // writing) and keeps copies of both in the run folder, so that every card gets the file as
    // it was checked. Throws WorkRefusal, having touched no card.
    BatchApply(carvex::DeviceRoot root, ApplyRequest request);

    // One card, on the calling thread: what a station calls as each card is plugged in. The
    // record sink is told when the card's work begins and when it has ended; `hooks.stop` (when
    // given) ends it early.
    CardRecord ApplyTo(int port, const CardHooks& hooks) const;

    // Works the cards whose PC UI interfaces are these COM ports, each on a thread of its own
    // (at most `jobs` at once); one record per port, in order. No card's failure stops or holds
    // up another. Once `hooks.stop` is stopping no further card is begun: those left are
    // "interrupted at opening the card", untouched.
    std::vector<CardRecord> Run(const std::vector<int>& ports, const CardHooks& hooks) const;

    // The facts every card's record carries: the request's, with the setting file's name, seal
    // and SHA-256 and the description's SHA-256.
    const RunFacts& Facts() const { return facts_; }

    // The items the setting file names no value for, which every card written gets at their
    // defaults.
    const DefaultedItems& LeftToDefaults() const { return left_to_defaults_; }

  private:
    WorkResult Work(CardJob& job) const;

    carvex::DeviceRoot root_;
    ApplyRequest request_;
    std::filesystem::path settings_;     // the copy
    std::filesystem::path description_;  // the copy
    SettingFileTarget target_;
    CardWorkState described_;
    DefaultedItems left_to_defaults_;
    RunFacts facts_;
};

// The record of a card no work was begun on, as the run was stopped first.
CardRecord NotBegun(int port, const RunFacts& facts);

// The cards a command works on: those named, or every card of the device root in the order of
// its Ports list.
std::vector<int> CardsToWork(const carvex::DeviceRoot& root, const std::vector<int>& named);

}  // namespace cardwright
