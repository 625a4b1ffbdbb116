#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/card/log_sink.h"
#include "cardwork/model/log_file.h"
#include "cardwork/presenter/date_time_format.h"
#include "cardwork/presenter/view_channel.h"

namespace cardwright {

// The operation log: each line, with its time stamp, goes to the window's log and into
// ConfigLog.txt, followed by the log's pause. The first line of a run takes up the earlier runs
// of the file, four empty lines apart. The file always equals the window's log: it is written
// whole when that is needed and appended to otherwise, and a file whose earlier runs could not
// be read is never replaced. A failure is reported once per run; later ones reach only the
// window, and the work that logged goes on. Used on the presenter's worker only.
class OperationLog : public LogSink {
  public:
    // `report_failure` shows "Cannot open file ..." or "Cannot create file ..." to the user.
    OperationLog(std::filesystem::path file, const DateTimeFormat& date_time, ViewChannel& channel,
                 std::function<void(const std::string&)> report_failure);

    void AddLog(std::string_view message) override;

    // The lines the window's log holds, earlier runs included, time stamps and all.
    const std::vector<std::string>& Lines() const { return lines_; }

  private:
    enum class RunState {
        kNotStarted,     // nothing logged in this run: the next line takes up the earlier runs
        kWriteWhole,     // the file may differ from the window's log: the next save writes it whole
        kAppending,      // the file equals the window's log but for the newest line
        kOnlyAppending,  // the earlier runs could not be read: lines are only ever added
    };

    void StartRun();
    void Save();
    void ReportFailure(const std::string& text);

    LogFile file_;
    const DateTimeFormat& date_time_;
    ViewChannel& channel_;
    std::function<void(const std::string&)> report_failure_;
    std::vector<std::string> lines_;
    RunState state_ = RunState::kNotStarted;
    bool failure_reported_ = false;
};

}  // namespace cardwright
