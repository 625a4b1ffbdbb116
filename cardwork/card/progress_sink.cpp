#include "cardwork/card/progress_sink.h"

namespace cardwright {

namespace {

std::string ItemText(std::string_view verb, const WorkProgress& progress) {
    return std::string(verb) + " " + std::to_string(progress.item) + " of " +
           std::to_string(progress.items) + ": " + std::string(progress.caption);
}

}  // namespace

std::string ProgressText(const WorkProgress& progress) {
    switch (progress.step) {
        case WorkStep::kOpeningLog:
            return "Opening the log...";
        case WorkStep::kLookingForCard:
            return "Looking for the card...";
        case WorkStep::kOpeningCard:
            return "Opening the card...";
        case WorkStep::kCheckingCardType:
            return "Checking the card's type...";
        case WorkStep::kCheckingValues:
            return "Checking the values...";
        case WorkStep::kReadingLed:
            return "Reading the LED patterns...";
        case WorkStep::kReadingCardInfo:
            return "Reading the card's identity and versions...";
        case WorkStep::kReadingItem:
            return ItemText("Reading", progress);
        case WorkStep::kChoosingFile:
            return "Choosing the setting file...";
        case WorkStep::kImportingFile:
            return "Loading the setting file...";
        case WorkStep::kWritingFile:
            return "Writing the setting file...";
        case WorkStep::kPlanning:
            return "Planning the write...";
        case WorkStep::kTakingSnapshot:
            return "Taking the snapshot...";
        case WorkStep::kWritingItem:
            return ItemText("Writing", progress);
        case WorkStep::kWritingLed:
            return "Writing the LED patterns...";
        case WorkStep::kBackingUp:
            return "Backing up the card's NV items...";
        case WorkStep::kRestarting:
            return "Restarting the card...";
        case WorkStep::kAwaitingReturn:
            return "Waiting for the card to come back...";
        case WorkStep::kReadingBack:
            return progress.items > 0 ? ItemText("Reading back", progress)
                                      : "Reading back what was written...";
    }
    return {};
}

}  // namespace cardwright
