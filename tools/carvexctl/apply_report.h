#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cardwork/card/work_result.h"

namespace carvexctl {

// One card's row of the report.
struct ReportRow {
    std::string port;  // "COM12"
    std::string imei;
    std::string firmware;
    std::string card_type;
    cardwright::WorkResult result;  // in the report as its Text()
    size_t nv_written = 0;
    // The NV items whose bytes read back differ from those written, and "port setting" when the
    // port setting does.
    std::vector<std::string> mismatches;
    std::string snapshot;  // the snapshot file; empty when none was taken
    double seconds = 0;
    // The items the setting file left at their defaults on this card (DISPLAY texts); nullopt
    // when the card did not get as far as the write.
    std::optional<std::vector<std::string>> left_to_defaults;
};

enum class ReportFormat { kCsv, kJson };

// The format a report file's name asks for (".csv" or ".json", letter case aside).
std::optional<ReportFormat> ReportFormatOf(const std::filesystem::path& path);

// One line per card after a line of column names; fields quoted where they must be.
std::string ReportCsv(const std::vector<ReportRow>& rows);
// A list of one object per card.
std::string ReportJson(const std::vector<ReportRow>& rows);
// The summary table: a column per field, a row per card, then how many ended ok.
void PrintSummary(std::ostream& out, const std::vector<ReportRow>& rows);

// Why a report could not be written at `path`, found before any card is touched by the rule
// its writer applies (a folder, no regular file, a read-only file, a folder that is missing or
// takes no new file), or empty.
std::string ReportUnwritable(const std::filesystem::path& path);

// Writes the report whole (then renames it to its name); why it could not, or empty.
std::string SaveReport(const std::filesystem::path& path, const std::vector<ReportRow>& rows);

}  // namespace carvexctl
