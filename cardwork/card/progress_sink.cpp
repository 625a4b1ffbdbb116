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
        case WorkStep::kLookingForCard:
            return "Looking for the card...";
        case WorkStep::kOpeningCard:
            return "Opening the card...";
        case WorkStep::kCheckingCardType:
            return "Checking the card's type...";
        case WorkStep::kReadingLed:
            return "Reading the LED patterns...";
        case WorkStep::kReadingCardInfo:
            return "Reading the card's identity and versions...";
        case WorkStep::kReadingItem:
            return ItemText("Reading", progress);
        case WorkStep::kWritingItem:
            return ItemText("Writing", progress);
        case WorkStep::kWritingLed:
            return "Writing the LED patterns...";
        case WorkStep::kBackingUp:
            return "Backing up the card's NV items...";
        case WorkStep::kRestarting:
            return "Restarting the card...";
    }
    return {};
}

}  // namespace cardwright
