#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/card/log_sink.h"
#include "cardwork/model/log_file.h"

class QPlainTextEdit;

namespace cardwright {

// The window's operation log: each line, with the locale's date and time, goes into the memo
// and into ConfigLog.txt, followed by the log's pause. The first line of a run takes up the
// earlier runs of the file, four empty lines apart. The file always equals the memo: it is
// written whole when that is needed and appended to otherwise, and a file whose earlier runs
// could not be read is never replaced. The earlier runs, however many, are read and written
// whole off the window's thread and shown in slices, so that the window keeps answering. A failure
// is reported once per run; later ones reach only the memo, and the work that logged goes on. The
// memo's view follows the newest line, unless the user has scrolled up to read.
class WindowLog : public LogSink {
  public:
    // What the log needs of the window that shows it.
    struct Hooks {
        std::function<void()> pause;                         // after each line
        std::function<void(const QString&)> report_failure;  // a message box
        // Runs file work off the window's thread, the window answering meanwhile.
        std::function<void(const std::function<void()>&)> aside;
        // Work on the window's thread, in steps after which the window may answer.
        std::function<void(int steps)> work_done;
    };

    WindowLog(std::filesystem::path file, QPlainTextEdit& memo, Hooks hooks);

    void AddLog(std::string_view message) override;
    void AddLog(const QString& message);

  private:
    enum class RunState {
        kNotStarted,     // nothing logged in this run: the next line takes up the earlier runs
        kWriteWhole,     // the file may differ from the memo: the next save writes it whole
        kAppending,      // the file equals the memo but for the newest line
        kOnlyAppending,  // the earlier runs could not be read: lines are only ever added
    };

    void StartRun();
    void Save(const std::string& line);
    bool ShowsNewest() const;
    void ShowNewestLine();
    void ReportFailure(const QString& text);

    LogFile file_;
    QPlainTextEdit& memo_;
    Hooks hooks_;
    std::vector<std::string> lines_;  // the memo's lines, as the file holds them
    RunState state_ = RunState::kNotStarted;
    bool failure_reported_ = false;
};

}  // namespace cardwright
