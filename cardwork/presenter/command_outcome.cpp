#include "cardwork/presenter/command_outcome.h"

#include <algorithm>

#include "cardwork/model/utf8_path.h"

namespace cardwright {

std::string CommandOutcome(std::string_view command, const WorkResult& result,
                           std::string_view done) {
    std::string text(command);
    switch (result.outcome) {
        case WorkOutcome::kOk:
            return text + ": " + std::string(done);
        case WorkOutcome::kCancelled:
            return text + " cancelled";
        case WorkOutcome::kMismatch:
            return text + ": " + result.Text();
        case WorkOutcome::kInterrupted:
            return text + " " + result.Text();
        case WorkOutcome::kRefused:
        case WorkOutcome::kFailed:
            break;
    }
    text += " failed";
    if (!result.item.empty()) {
        text += " at " + result.item;
    }
    if (!result.reason.empty()) {
        text += ": " + result.reason;
    }
    return text;
}

std::string ReadDone(const std::vector<ItemReading>& readings) {
    const auto not_read = std::count_if(readings.begin(), readings.end(),
                                        [](const ItemReading& item) { return !item.read; });
    std::string text = "done, " + std::to_string(readings.size()) + " items";
    if (not_read > 0) {
        text += ", " + std::to_string(not_read) + " not read";
    }
    return text;
}

std::string SolutionOutcome(std::string_view name) {
    return "Stored solution " + std::string(name) + " shown, no card read";
}

std::string CardShown(const CommonInfo& info, std::string_view port) {
    std::string text = "Card " + info[CommonInfoRow::kCardType];
    if (!port.empty()) {
        text += " on " + std::string(port);
    }
    return text + ", IMEI " + info[CommonInfoRow::kImei];
}

std::string SolutionShown(std::string_view name) {
    return "Stored solution " + std::string(name) + " (no card read)";
}

std::string SettingFileShown(const std::filesystem::path& file) {
    return "Setting file " + Utf8FromPath(file.filename()) + " (not yet written to the card)";
}

}  // namespace cardwright
