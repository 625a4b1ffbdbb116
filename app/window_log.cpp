#include "app/window_log.h"

#include <QDateTime>
#include <QLocale>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <optional>

#include "app/log_line.h"
#include "cardwork/model/model_clock.h"
#include "app/qt_text.h"

namespace cardwright {

namespace {

constexpr int kEmptyLinesBetweenRuns = 4;
// The earlier runs go into the memo this many lines at a time; a line costs about one step of
// the window's work.
constexpr size_t kLinesPerSlice = 500;

}  // namespace

WindowLog::WindowLog(std::filesystem::path file, QPlainTextEdit& memo, Hooks hooks)
    : file_(std::move(file)), memo_(memo), hooks_(std::move(hooks)) {}

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
    hooks_.pause();
    Save(lines_.back());
}

void WindowLog::StartRun() {
    state_ = RunState::kWriteWhole;
    if (file_.Exists()) {
        std::optional<std::vector<std::string>> earlier;
        hooks_.aside([&] { earlier = file_.ReadLines(); });
        if (earlier) {
            lines_ = std::move(*earlier);
            lines_.insert(lines_.end(), kEmptyLinesBetweenRuns, std::string());
        } else {
            // Never replace a log that could not be read: this run's lines are added to it.
            state_ = RunState::kOnlyAppending;
            ReportFailure(QStringLiteral("Cannot open file %1").arg(Q(file_.Path().string())));
        }
    }
    memo_.clear();
    for (size_t first = 0; first < lines_.size(); first += kLinesPerSlice) {
        QStringList slice;
        for (size_t i = first; i < std::min(lines_.size(), first + kLinesPerSlice); ++i) {
            slice << Q(lines_[i]);
        }
        memo_.appendPlainText(slice.join(QLatin1Char('\n')));
        ShowNewestLine();
        hooks_.work_done(static_cast<int>(slice.size()));
    }
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
    bool saved = false;
    if (whole) {
        hooks_.aside([&] { saved = file_.Rewrite(lines_); });
    } else {
        saved = file_.Append(line);
    }
    if (saved) {
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
        hooks_.report_failure(text);
    }
}

}  // namespace cardwright
