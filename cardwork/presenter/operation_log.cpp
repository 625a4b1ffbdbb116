#include "cardwork/presenter/operation_log.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "cardwork/model/model_clock.h"
#include "cardwork/model/utf8_path.h"

namespace cardwright {

namespace {

constexpr int kEmptyLinesBetweenRuns = 4;
// Every line logged is followed by this pause.
constexpr std::chrono::milliseconds kLogPause{50};
// The earlier runs go to the window this many lines at a time; a line costs the window about one
// step of its work.
constexpr size_t kLinesPerSlice = 500;

}  // namespace

OperationLog::OperationLog(std::filesystem::path file, const DateTimeFormat& date_time,
                           ViewChannel& channel,
                           std::function<void(const std::string&)> report_failure)
    : file_(std::move(file)),
      date_time_(date_time),
      channel_(channel),
      report_failure_(std::move(report_failure)) {}

void OperationLog::AddLog(std::string_view message) {
    if (state_ == RunState::kNotStarted) {
        StartRun();
    }
    lines_.push_back(date_time_.LogTimestamp(AppClock().Now()) + "  " + std::string(message));
    channel_.View().AppendLog({lines_.back()});
    channel_.WorkDone(1);
    AppClock().SleepFor(kLogPause);
    Save();
}

void OperationLog::StartRun() {
    state_ = RunState::kWriteWhole;
    if (file_.Exists()) {
        if (std::optional<std::vector<std::string>> earlier = file_.ReadLines()) {
            lines_ = std::move(*earlier);
            lines_.insert(lines_.end(), kEmptyLinesBetweenRuns, std::string());
        } else {
            // Never replace a log that could not be read: this run's lines are added to it.
            state_ = RunState::kOnlyAppending;
            ReportFailure("Cannot open file " + Utf8FromPath(file_.Path()));
        }
    }
    for (size_t first = 0; first < lines_.size(); first += kLinesPerSlice) {
        const auto begin = lines_.begin() + static_cast<std::ptrdiff_t>(first);
        const auto end = lines_.begin() + static_cast<std::ptrdiff_t>(
                                              std::min(lines_.size(), first + kLinesPerSlice));
        channel_.View().AppendLog(std::vector<std::string>(begin, end));
        channel_.WorkDone(static_cast<int>(end - begin));
    }
}

void OperationLog::Save() {
    const bool whole = state_ == RunState::kWriteWhole;
    if (whole ? file_.Rewrite(lines_) : file_.Append(lines_.back())) {
        if (whole) {
            state_ = RunState::kAppending;
        }
        return;
    }
    // A failed append may have left the file short of the window's log: it is written whole next
    // time, unless it holds earlier runs that could not be read.
    if (state_ == RunState::kAppending) {
        state_ = RunState::kWriteWhole;
    }
    ReportFailure("Cannot create file " + Utf8FromPath(file_.Path()));
}

void OperationLog::ReportFailure(const std::string& text) {
    if (!failure_reported_) {
        failure_reported_ = true;
        report_failure_(text);
    }
}

}  // namespace cardwright
