#include "tools/carvexctl/apply_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "cardwork/json/json_document.h"
#include "cardwork/model/ini_file.h"
#include "carvex/platform/printable_text.h"
#include "carvex/platform/whole_file.h"

namespace carvexctl {

namespace {

using cardwright::Json;

constexpr std::array<const char*, 9> kColumns = {"port",
                                                 "imei",
                                                 "firmware",
                                                 "card_type",
                                                 "result",
                                                 "nv_items_written",
                                                 "mismatching_nv_items",
                                                 "snapshot",
                                                 "seconds"};

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
            SecondsText(row.seconds)};
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

size_t Width(std::string_view text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
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
        cards.push_back(Json::object({
            {"port", row.port},
            {"imei", row.imei},
            {"firmware", row.firmware},
            {"card_type", row.card_type},
            {"result", row.result.Text()},
            {"nv_items_written", row.nv_written},
            {"mismatching_nv_items", row.mismatches},
            {"snapshot", row.snapshot.empty() ? Json(nullptr) : Json(row.snapshot)},
            {"seconds", SecondsValue(row.seconds)},
        }));
    }
    return cardwright::JsonText(cards) + "\n";
}

void PrintSummary(std::ostream& out, const std::vector<ReportRow>& rows) {
    const std::array<const char*, kColumns.size()> headings = {
        "PORT",       "IMEI",       "FIRMWARE", "CARD TYPE", "RESULT",
        "NV WRITTEN", "MISMATCHES", "SNAPSHOT", "SECONDS"};
    std::vector<std::array<std::string, kColumns.size()>> table;
    table.emplace_back();
    std::copy(headings.begin(), headings.end(), table.back().begin());
    for (const ReportRow& row : rows) {
        auto fields = Fields(row);
        for (std::string& field : fields) {
            field = field.empty() ? "-" : carvex::PrintableText(field);
        }
        table.push_back(fields);
    }
    std::array<size_t, kColumns.size()> widths{};
    for (const auto& line : table) {
        for (size_t i = 0; i < line.size(); ++i) {
            widths[i] = std::max(widths[i], Width(line[i]));
        }
    }
    for (const auto& line : table) {
        std::string text;
        for (size_t i = 0; i < line.size(); ++i) {
            text += line[i];
            if (i + 1 < line.size()) {
                text += std::string(widths[i] - Width(line[i]) + 2, ' ');
            }
        }
        out << text << "\n";
    }
    const auto ok = std::count_if(rows.begin(), rows.end(),
                                  [](const ReportRow& row) { return row.result.Ok(); });
    out << ok << " of " << rows.size() << (rows.size() == 1 ? " card" : " cards") << " ok\n";
}

std::string ReportUnwritable(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    std::string error;
    const auto target = carvex::FinalTarget(path, error);
    if (!target) {
        return path.string() + ": " + error;
    }
    std::error_code status_error;
    const fs::file_status status = fs::status(*target, status_error);
    if (fs::is_directory(status)) {
        return path.string() + " is a folder";
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return path.string() + " is no regular file";
    }
    // The report goes to a new file beside it, renamed to its name: the folder must take one.
    const fs::path folder = fs::absolute(*target, status_error).parent_path();
    if (!fs::is_directory(folder, status_error)) {
        return "the folder " + folder.string() + " does not exist";
    }
    const std::string stem = "." + target->filename().string() + ".carvexctl-check";
    for (int again = 1; again <= 100; ++again) {
        const fs::path probe = folder / (stem + std::to_string(again));
        const carvex::NewFile made = carvex::CreateNewFile(probe, {});
        if (made.written) {
            fs::remove(probe, status_error);
            return {};
        }
        if (!made.taken) {
            return "no file can be written in " + folder.string() + ": " + made.error;
        }
    }
    return "no file can be written in " + folder.string();
}

std::string SaveReport(const std::filesystem::path& path, const std::vector<ReportRow>& rows) {
    const auto format = ReportFormatOf(path);
    const std::string text = format == ReportFormat::kJson ? ReportJson(rows) : ReportCsv(rows);
    const carvex::Replacement written = carvex::ReplaceWholeFile(path, text);
    return written.stamp ? std::string() : written.error;
}

}  // namespace carvexctl
