#include "app/window_log.h"

#include <QDateTime>
#include <QLocale>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStringList>
#include <chrono>

#include "app/log_line.h"
#include "app/model/model_clock.h"
#include "app/qt_text.h"

namespace cardwright {

namespace {

constexpr int kEmptyLinesBetweenRuns = 4;

}  // namespace

WindowLog::WindowLog(std::filesystem::path file, QPlainTextEdit& memo, std::function<void()> pause,
                     std::function<void(const QString&)> report_failure)
    : file_(std::move(file)),
      memo_(memo),
      pause_(std::move(pause)),
      report_failure_(std::move(report_failure)) {}

void WindowLog::AddLog(std::string_view message) {
    AddLog(Q(message));
}

void WindowLog::AddLog(const QString& message) {
    if (state_ == RunState::kNotStarted) {
        StartRun();
    }
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(AppClock().Now().time_since_epoch())
            .count());
    const QString line = LogLine(now, QLocale::system(), message);
    lines_.push_back(line.toStdString());
    const bool follow = ShowsNewest();
    memo_.appendPlainText(line);
    if (follow) {
        ShowNewestLine();
    }
    pause_();
    Save(lines_.back());
}

void WindowLog::StartRun() {
    state_ = RunState::kWriteWhole;
    if (file_.Exists()) {
        if (auto earlier = file_.ReadLines()) {
            lines_ = std::move(*earlier);
            lines_.insert(lines_.end(), kEmptyLinesBetweenRuns, std::string());
        } else {
            // Never replace a log that could not be read: this run's lines are added to it.
            state_ = RunState::kOnlyAppending;
            ReportFailure(QStringLiteral("Cannot open file %1").arg(Q(file_.Path().string())));
        }
    }
    QStringList shown;
    for (const auto& line : lines_) {
        shown << Q(line);
    }
    memo_.setPlainText(shown.join(QLatin1Char('\n')));
    ShowNewestLine();
}

// As in a terminal: the view is at the newest line unless the user has scrolled up to read.
bool WindowLog::ShowsNewest() const {
    const QScrollBar* bar = memo_.verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void WindowLog::ShowNewestLine() {
    QScrollBar* bar = memo_.verticalScrollBar();
    bar->setValue(bar->maximum());
}

void WindowLog::Save(const std::string& line) {
    const bool whole = state_ == RunState::kWriteWhole;
    if (whole ? file_.Rewrite(lines_) : file_.Append(line)) {
        if (whole) {
            state_ = RunState::kAppending;
        }
        return;
    }
    // A failed append may have left the file short of the memo: it is written whole next time,
    // unless it holds earlier runs that could not be read.
    if (state_ == RunState::kAppending) {
        state_ = RunState::kWriteWhole;
    }
    ReportFailure(QStringLiteral("Cannot create file %1").arg(Q(file_.Path().string())));
}

void WindowLog::ReportFailure(const QString& text) {
    if (!failure_reported_) {
        failure_reported_ = true;
        report_failure_(text);
    }
}

}  // namespace cardwright
