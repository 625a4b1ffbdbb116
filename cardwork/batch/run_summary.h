#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cardwork/batch/card_record.h"
#include "cardwork/json/json_document.h"

namespace cardwright {

// What a run of apply or restore came to: when it began and ended, and each card's record (which
// carries the run's facts).
struct RunReport {
    std::chrono::system_clock::time_point started{};
    std::chrono::system_clock::time_point ended{};
    std::vector<CardRecord> cards;

    bool AllOk() const;
};

enum class ReportFormat { kCsv, kJson };

// The format a report file's name asks for (".csv" or ".json", letter case aside).
std::optional<ReportFormat> ReportFormatOf(const std::filesystem::path& path);

// One line per card after a line of column names; fields quoted where they must be. The columns
// of carvexctl 1.0 come first, as they were; then the retries, the log, and the run's.
std::string ReportCsv(const RunReport& report);
// A list of one object per card: the members of carvexctl 1.0 first, with the bytes they had,
// then the others in the order of the CSV's columns.
std::string ReportJson(const RunReport& report);
// The same list as a JSON value, for a document that holds it.
Json ReportCardsJson(const RunReport& report);

// Why a report could not be written at `path`, found before any card is touched by the rule
// its writer applies (a folder, no regular file, a read-only file, a folder that is missing or
// takes no new file), or empty.
std::string ReportUnwritable(const std::filesystem::path& path);

// Writes the report whole (then renames it to its name), in the format its name asks for; why
// it could not, or empty.
std::string SaveReport(const std::filesystem::path& path, const RunReport& report);

// "summary.json" and "summary.csv" in the run folder: every run leaves both, whether or not a
// report was asked for. Why they could not be written, or empty.
std::string SaveRunSummary(const std::filesystem::path& run_folder, const RunReport& report);

// The seconds to a tenth, as the report writes them: "18.0".
std::string SecondsText(double seconds);

// A field of a CSV line, quoted (its quotes doubled) when it holds a comma, a quote or a line
// break.
std::string CsvField(const std::string& text);

}  // namespace cardwright
