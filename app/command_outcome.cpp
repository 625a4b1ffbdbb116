#include "app/command_outcome.h"

#include <algorithm>

#include "carvex/platform/device_root.h"

namespace cardwright {

namespace {

constexpr std::string_view kCardDifferent = "the card is not the one read; read it again";
constexpr std::string_view kNotValid = "a value did not pass its check (see the log)";

// The reason, or what is known without one.
std::string Why(std::string_view trouble, std::string_view otherwise) {
    return std::string(trouble.empty() ? otherwise : trouble);
}

}  // namespace

std::string ReadOutcome(const ReadReport& report, std::string_view trouble) {
    if (!report.opened) {
        return "Read failed: " + Why(trouble, "the card could not be opened");
    }
    if (report.card_lost) {
        return "Read failed: " + Why(trouble, "the card is gone");
    }
    if (!report.ok) {
        return "Read failed: an item's description cannot be used (see the log)";
    }
    const auto not_read = std::count_if(report.items.begin(), report.items.end(),
                                        [](const ItemReading& item) { return !item.read; });
    std::string text = "Read: done, " + std::to_string(report.items.size()) + " items";
    if (not_read > 0) {
        text += ", " + std::to_string(not_read) + " not read";
    }
    return text;
}

std::string WriteOutcome(const WriteReport& report, std::string_view trouble) {
    if (report.ok) {
        return "Write: done";
    }
    if (!report.values_valid) {
        return "Write failed: " + std::string(kNotValid);
    }
    if (report.card_different) {
        // The identity check could not open the card at all, or found another one.
        return "Write failed: " + Why(trouble, kCardDifferent);
    }
    if (!report.opened) {
        return "Write failed: " + Why(trouble, "the card could not be opened");
    }
    std::string text = "Write failed";
    if (!report.failed_at.empty()) {
        text += " at " + report.failed_at;
    }
    if (report.card_lost) {
        text += ": " + Why(trouble, "the card is gone");
    }
    return text;
}

std::string ImportOutcome(const ImportReport& report, const std::filesystem::path& file,
                          std::string_view trouble) {
    if (report.card_different) {
        return "Import failed: " + Why(trouble, kCardDifferent);
    }
    if (!report.check) {
        return "Import cancelled";
    }
    switch (*report.check) {
        case SettingFileCheck::kLoaded:
            return "Import: done, " + file.string() + " loaded (not yet written to the card)";
        case SettingFileCheck::kNoValues:
            return "Import failed: " + file.string() + " holds no setting values";
        case SettingFileCheck::kCrcFailed:
            return "Import failed: the CRC of " + file.string() +
                   " does not hold (changed, or made for the other card generation)";
        case SettingFileCheck::kBadValue:
            return "Import failed: a value in " + file.string() + " is not a number (see the log)";
    }
    return "Import failed";
}

std::string ExportOutcome(ExportEnd end, const std::filesystem::path& file,
                          std::string_view trouble) {
    switch (end) {
        case ExportEnd::kWritten:
            return "Export: written to " + file.string();
        case ExportEnd::kCancelled:
            return "Export cancelled";
        case ExportEnd::kCardDifferent:
            return "Export failed: " + std::string(kCardDifferent);
        case ExportEnd::kNotValid:
            return "Export failed: " + std::string(kNotValid);
        case ExportEnd::kReadFailed:
            return "Export failed: the card could not be read" +
                   (trouble.empty() ? std::string() : ": " + std::string(trouble));
        case ExportEnd::kRefused:
            return "Export failed: " + file.string() + " is one of the configurator's own files";
        case ExportEnd::kNotWritten:
            return "Export failed: " + file.string() + " could not be written (see the log)";
    }
    return "Export failed";
}

std::string SolutionOutcome(std::string_view name) {
    return "Stored solution " + std::string(name) + " shown, no card read";
}

std::string CardShown(const CommonInfo& info, std::optional<int> port) {
    std::string text = "Card " + info[CommonInfoRow::kCardType];
    if (port) {
        text += " on " + carvex::ComName(*port);
    }
    return text + ", IMEI " + info[CommonInfoRow::kImei];
}

std::string SolutionShown(std::string_view name) {
    return "Stored solution " + std::string(name) + " (no card read)";
}

std::string SettingFileShown(const std::filesystem::path& file) {
    return "Setting file " + file.filename().string() + " (not yet written to the card)";
}

}  // namespace cardwright
