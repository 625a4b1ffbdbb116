#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cardwork/model/item_value.h"

namespace cardwright {

// The LED patterns the card shows for eight statuses: each a sequence of ten steps, a colour
// held for a time in units of 100 ms. Statuses 1 to 4 live in NV item 50012, 5 to 8 in 50013.
inline constexpr int kLedStatuses = 8;
inline constexpr int kLedSteps = 10;
inline constexpr int kLedStatusesPerItem = 4;
inline constexpr int32_t kLedFirstNvItem = 50012;
inline constexpr int32_t kLedSecondNvItem = 50013;
// The longest time one step of an NV item holds.
inline constexpr int32_t kLedMaxTime = 255;

// Colour codes 1 to 8 (0: no colour) and the card's red-green-blue bits.
uint8_t ToNvLedColor(int code);
uint8_t FromNvLedColor(uint8_t bits);
// "Off", "Blue", ... as the step list shows them; "--" outside 1 to 8.
std::string LedColorName(int code);
// The dialog's colour entries, in code order 1 to 8.
const std::array<std::string_view, 8>& LedColorEntries();
// The captions of the eight statuses.
const std::array<std::string_view, kLedStatuses>& LedStatusCaptions();

struct LedStep {
    uint8_t colour = 0;  // 0 to 8
    int32_t time = 0;
    friend bool operator==(const LedStep&, const LedStep&) = default;
};

struct BadLedTime {
    int status;  // 1 to 8
    int step;    // 1 to 10
    int32_t time;
    std::string Message() const;
};

// The main window's LED table. Besides the steps it knows where they came from, so that a
// table nobody filled is never written over the card's patterns.
class LedTable {
  public:
    enum class Source {
        kNone,    // cleared, or only part of it read from the card
        kCard,    // both NV items read from the card
        kLoaded,  // loaded from a setting file or a solution
        kEdited,  // changed on the page
    };

    // Statuses and steps count from 1.
    const LedStep& Step(int status, int step) const;
    void SetStep(int status, int step, LedStep value);

    Source From() const { return source_; }
    void SetFrom(Source source) { source_ = source; }
    // Whether the table holds something real to write to the card.
    bool Writable() const { return source_ != Source::kNone; }

    // Every step colour 0, time 0, and nothing real held.
    void Clear();

    // The 128 bytes of NV item 50012 (`item` 0) or 50013 (`item` 1). Each step is the colour's
    // NV bits and its time in one byte; a time of -1 (the end of a pattern) is written as 0.
    // nullopt when a time does not fit a byte.
    std::optional<NvData> Pack(int item) const;
    // Fills the four statuses of NV item `item` (0 or 1) from its data.
    void Unpack(int item, std::span<const uint8_t> data);

    // The first time the card cannot hold (above 255, or below -1).
    std::optional<BadLedTime> FindBadTime() const;

    // The INI line of a status: "colour,time|" for each of the ten steps.
    std::string Line(int status) const;
    // Sets a status from its INI line; an empty line clears it.
    void SetLine(int status, std::string_view line);

  private:
    std::array<std::array<LedStep, kLedSteps>, kLedStatuses> steps_{};
    Source source_ = Source::kNone;
};

}  // namespace cardwright
