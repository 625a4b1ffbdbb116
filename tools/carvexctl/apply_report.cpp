#include "tools/carvexctl/apply_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "cardwork/json/json_document.h"
#include "cardwork/model/ini_file.h"
#include "carvex/platform/printable_text.h"
#include "carvex/platform/whole_file.h"
#include "tools/carvexctl/display_width.h"

namespace carvexctl {

namespace {

using cardwright::Json;

constexpr std::array<const char*, 10> kColumns = {"port",
                                                  "imei",
                                                  "firmware",
                                                  "card_type",
                                                  "result",
                                                  "nv_items_written",
                                                  "mismatching_nv_items",
                                                  "snapshot",
                                                  "seconds",
                                                  "items_left_to_defaults"};

std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

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

std::array<std::string, kColumns.size()> Fields(const ReportRow& row) {
    return {row.port,
            row.imei,
            row.firmware,
            row.card_type,
            row.result.Text(),
            std::to_string(row.nv_written),
            Joined(row.mismatches, " "),
            row.snapshot,
            SecondsText(row.seconds),
            Joined(row.left_to_defaults.value_or(std::vector<std::string>{}), "; ")};
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

}  // namespace

std::optional<ReportFormat> ReportFormatOf(const std::filesystem::path& path) {
    const std::string extension = path.extension().string();
    if (cardwright::EqualIgnoringCase(extension, ".csv")) {
        return ReportFormat::kCsv;
    }
    if (cardwright::EqualIgnoringCase(extension, ".json")) {
        return ReportFormat::kJson;
    }
    return std::nullopt;
}

std::string ReportCsv(const std::vector<ReportRow>& rows) {
    std::string text;
    for (size_t i = 0; i < kColumns.size(); ++i) {
        text += std::string(i == 0 ? "" : ",") + kColumns[i];
    }
    text += "\r\n";
    for (const ReportRow& row : rows) {
        const auto fields = Fields(row);
        for (size_t i = 0; i < fields.size(); ++i) {
            text += (i == 0 ? "" : ",") + CsvField(fields[i]);
        }
        text += "\r\n";
    }
    return text;
}

std::string ReportJson(const std::vector<ReportRow>& rows) {
    Json cards = Json::array();
    for (const ReportRow& row : rows) {
        Json card = Json::object({
            {"port", row.port},
            {"imei", row.imei},
            {"firmware", row.firmware},
            {"card_type", row.card_type},
            {"result", row.result.Text()},
            {"nv_items_written", row.nv_written},
            {"mismatching_nv_items", row.mismatches},
            {"snapshot", row.snapshot.empty() ? Json(nullptr) : Json(row.snapshot)},
            {"seconds", SecondsValue(row.seconds)},
        });
        // Only for a card that was written: the rows of earlier reports stay as they were.
        if (row.left_to_defaults) {
            card["items_left_to_defaults"] = *row.left_to_defaults;
        }
        cards.push_back(std::move(card));
    }
    return cardwright::JsonText(cards) + "\n";
}

void PrintSummary(std::ostream& out, const std::vector<ReportRow>& rows) {
    // The items left at their defaults, a long list alike for every card, are said once apart.
    constexpr size_t kShown = kColumns.size() - 1;
    const std::array<const char*, kShown> headings = {"PORT",       "IMEI",     "FIRMWARE",
                                                      "CARD TYPE",  "RESULT",   "NV WRITTEN",
                                                      "MISMATCHES", "SNAPSHOT", "SECONDS"};
    std::vector<std::array<std::string, kShown>> table;
    table.emplace_back();
    std::copy(headings.begin(), headings.end(), table.back().begin());
    for (const ReportRow& row : rows) {
        const auto fields = Fields(row);
        auto& line = table.emplace_back();
        for (size_t i = 0; i < kShown; ++i) {
            line[i] = fields[i].empty() ? "-" : carvex::PrintableText(fields[i]);
        }
    }
    std::array<size_t, kShown> widths{};
    for (const auto& line : table) {
        for (size_t i = 0; i < line.size(); ++i) {
            widths[i] = std::max(widths[i], DisplayWidth(line[i]));
        }
    }
    for (const auto& line : table) {
        std::string text;
        for (size_t i = 0; i < line.size(); ++i) {
            text += line[i];
            if (i + 1 < line.size()) {
                text += std::string(widths[i] - DisplayWidth(line[i]) + 2, ' ');
            }
        }
        out << text << "\n";
    }
    const auto ok = std::count_if(rows.begin(), rows.end(),
                                  [](const ReportRow& row) { return row.result.Ok(); });
    out << ok << " of " << rows.size() << (rows.size() == 1 ? " card" : " cards") << " ok\n";
}

std::string ReportUnwritable(const std::filesystem::path& path) {
    // The rule SaveReport's replacement applies, so that a report that passes here is written.
    return carvex::ReplacementRefusal(path);
}

std::string SaveReport(const std::filesystem::path& path, const std::vector<ReportRow>& rows) {
    const auto format = ReportFormatOf(path);
    const std::string text = format == ReportFormat::kJson ? ReportJson(rows) : ReportCsv(rows);
    const carvex::Replacement written = carvex::ReplaceWholeFile(path, text);
    return written.stamp ? std::string() : written.error;
}

}  // namespace carvexctl
