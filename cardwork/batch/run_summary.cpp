#include "cardwork/batch/run_summary.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "cardwork/batch/utc_text.h"
#include "cardwork/json/json_document.h"
#include "cardwork/model/ini_file.h"
#include "carvex/platform/whole_file.h"

namespace cardwright {

namespace {

constexpr std::array<const char*, 22> kColumns = {"port",
                                                  "imei",
                                                  "firmware",
                                                  "card_type",
                                                  "result",
                                                  "nv_items_written",
                                                  "mismatching_nv_items",
                                                  "snapshot",
                                                  "seconds",
                                                  "items_left_to_defaults",
                                                  "retries",
                                                  "log",
                                                  "uuid",
                                                  "started",
                                                  "ended",
                                                  "run_started",
                                                  "run_ended",
                                                  "settings_file",
                                                  "settings_crc",
                                                  "settings_sha256",
                                                  "description_sha256",
                                                  "tool_version"};

// The seconds to a tenth, as a number; a whole one without its ".0", as the report always had.
Json SecondsValue(double seconds) {
    const double tenths = std::round(seconds * 10);
    if (std::fmod(tenths, 10) == 0 && std::abs(tenths) < 1e15) {
        return static_cast<int64_t>(tenths / 10);
    }
    return tenths / 10;
}

std::string Joined(const std::vector<std::string>& parts, std::string_view between) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : std::string(between)) + part;
    }
    return text;
}

// A time as the report gives it; empty for one never set.
std::string When(std::chrono::system_clock::time_point when) {
    return when == std::chrono::system_clock::time_point{} ? std::string() : UtcText(when);
}

std::array<std::string, kColumns.size()> RowFields(const RunReport& report,
                                                   const CardRecord& card) {
    return {card.port,
            card.imei,
            card.firmware,
            card.card_type,
            card.result.Text(),
            std::to_string(card.nv_written),
            MismatchesText(card),
            card.snapshot,
            SecondsText(card.seconds),
            Joined(card.left_to_defaults.value_or(std::vector<std::string>{}), "; "),
            std::to_string(card.retries),
            card.log,
            card.uuid,
            When(card.started),
            When(card.ended),
            When(report.started),
            When(report.ended),
            card.run.settings_file,
            card.run.settings_crc,
            card.run.settings_sha256,
            card.run.description_sha256,
            card.run.tool_version};
}

}  // namespace

bool RunReport::AllOk() const {
    return std::all_of(cards.begin(), cards.end(),
                       [](const CardRecord& card) { return card.result.Ok(); });
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

std::optional<ReportFormat> ReportFormatOf(const std::filesystem::path& path) {
    const std::string extension = path.extension().string();
    if (EqualIgnoringCase(extension, ".csv")) {
        return ReportFormat::kCsv;
    }
    if (EqualIgnoringCase(extension, ".json")) {
        return ReportFormat::kJson;
    }
    return std::nullopt;
}

std::string ReportCsv(const RunReport& report) {
    std::string text;
    for (size_t i = 0; i < kColumns.size(); ++i) {
        text += std::string(i == 0 ? "" : ",") + kColumns[i];
    }
    text += "\r\n";
    for (const CardRecord& card : report.cards) {
        const auto fields = RowFields(report, card);
        for (size_t i = 0; i < fields.size(); ++i) {
            text += (i == 0 ? "" : ",") + CsvField(fields[i]);
        }
        text += "\r\n";
    }
    return text;
}

std::string ReportJson(const RunReport& report) {
    return JsonText(ReportCardsJson(report)) + "\n";
}

Json ReportCardsJson(const RunReport& report) {
    Json cards = Json::array();
    for (const CardRecord& card : report.cards) {
        Json object = Json::object({
            {"port", card.port},
            {"imei", card.imei},
            {"firmware", card.firmware},
            {"card_type", card.card_type},
            {"result", card.result.Text()},
            {"nv_items_written", card.nv_written},
            {"mismatching_nv_items", card.mismatches},
            {"snapshot", TextOrNull(card.snapshot)},
            {"seconds", SecondsValue(card.seconds)},
        });
        // Only for a card that was written: the rows of earlier reports stay as they were.
        if (card.left_to_defaults) {
            object["items_left_to_defaults"] = *card.left_to_defaults;
        }
        object["retries"] = card.retries;
        object["log"] = TextOrNull(card.log);
        object["uuid"] = TextOrNull(card.uuid);
        object["started"] = TextOrNull(When(card.started));
        object["ended"] = TextOrNull(When(card.ended));
        object["run_started"] = TextOrNull(When(report.started));
        object["run_ended"] = TextOrNull(When(report.ended));
        object["settings_file"] = TextOrNull(card.run.settings_file);
        object["settings_crc"] = TextOrNull(card.run.settings_crc);
        object["settings_sha256"] = TextOrNull(card.run.settings_sha256);
        object["description_sha256"] = TextOrNull(card.run.description_sha256);
        object["tool_version"] = TextOrNull(card.run.tool_version);
        cards.push_back(std::move(object));
    }
    return cards;
}

std::string ReportUnwritable(const std::filesystem::path& path) {
    // The rule SaveReport's replacement applies, so that a report that passes here is written.
    return carvex::ReplacementRefusal(path);
}

std::string SaveReport(const std::filesystem::path& path, const RunReport& report) {
    const auto format = ReportFormatOf(path);
    const std::string text = format == ReportFormat::kJson ? ReportJson(report) : ReportCsv(report);
    const carvex::Replacement written = carvex::ReplaceWholeFile(path, text);
    return written.stamp ? std::string() : written.error;
}

std::string SaveRunSummary(const std::filesystem::path& run_folder, const RunReport& report) {
    std::string errors;
    for (const char* name : {"summary.json", "summary.csv"}) {
        if (const std::string error = SaveReport(run_folder / name, report); !error.empty()) {
            errors += (errors.empty() ? "" : "; ") + std::string(name) + ": " + error;
        }
    }
    return errors;
}

}  // namespace cardwright
