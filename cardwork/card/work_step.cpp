#include "cardwork/card/work_step.h"

namespace cardwright {

std::string_view StepName(WorkStep step) {
    switch (step) {
        case WorkStep::kOpeningLog:
            return "its log";
        case WorkStep::kLookingForCard:
            return "looking for the card";
        case WorkStep::kOpeningCard:
            return "opening the card";
        case WorkStep::kCheckingCardType:
            return "checking the card";
        case WorkStep::kCheckingValues:
            return "checking the values";
        case WorkStep::kReadingLed:
        case WorkStep::kReadingCardInfo:
        case WorkStep::kReadingItem:
            return "reading";
        case WorkStep::kChoosingFile:
            return "choosing the file";
        case WorkStep::kImportingFile:
            return "importing";
        case WorkStep::kWritingFile:
            return "writing the file";
        case WorkStep::kPlanning:
            return "planning";
        case WorkStep::kTakingSnapshot:
            return "snapshot";
        case WorkStep::kWritingItem:
        case WorkStep::kWritingLed:
        case WorkStep::kBackingUp:
            return "writing";
        case WorkStep::kRestarting:
        case WorkStep::kAwaitingReturn:
            return "restart";
        case WorkStep::kReadingBack:
            return "read-back";
    }
    return "work";
}

}  // namespace cardwright
