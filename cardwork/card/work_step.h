#pragma once

#include <string_view>

namespace cardwright {

// The steps of the work on a card: those that take the card's time, which progress reports as
// they begin, and those where a piece of work can end.
enum class WorkStep {
    kOpeningLog,
    kLookingForCard,
    kOpeningCard,
    kCheckingCardType,
    kCheckingValues,
    kReadingLed,
    kReadingCardInfo,
    kReadingItem,
    kChoosingFile,
    kImportingFile,
    kWritingFile,
    kPlanning,
    kTakingSnapshot,
    kWritingItem,
    kWritingLed,
    kBackingUp,
    kRestarting,
    kAwaitingReturn,  // the card gone for its restart, until it answers again
    kReadingBack,
};

// The step as a record of the work names it: "opening the card", "reading", "writing" (also for
// the LED patterns and the backup), "restart" (also while the card is awaited), "read-back".
std::string_view StepName(WorkStep step);

}  // namespace cardwright
