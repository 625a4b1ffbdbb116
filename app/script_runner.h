#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace cardwright {

class TMainFrm;

// Drives the main window from a command file, through the window's own operations, one line at
// a time once the window is idle: what the demo (and a technician's batch run) uses instead of
// a mouse. Lines:
//   select ITEM TEXT        tick ITEM's check box and show TEXT in its value box
//   read | write            the Read and Write commands
//   wait-for-card SECONDS   until the card can be opened again (after a Write's restart)
//   tab CAPTION             bring a tab to the front
//   screenshot FILE         save a picture of the window
//   quit
// Blank lines and lines starting with '#' are skipped. A line that cannot be carried out ends
// the run with an error on standard error.
class ScriptRunner : public QObject {
    Q_OBJECT

  public:
    ScriptRunner(TMainFrm& window, QStringList lines, QObject* parent = nullptr);

    // Starts with the first line as soon as the window's start-up sequence is over; `finished`
    // gets the exit status (0 when every line was carried out).
    void Start(std::function<void(int exit_status)> finished);

    static QStringList ReadLines(const QString& path, QString* error);

  private:
    void Next();
    bool Run(const QString& line, QString* error);
    bool WaitForCard(int seconds);

    TMainFrm& window_;
    QStringList lines_;
    int next_ = 0;
    std::function<void(int)> finished_;
};

}  // namespace cardwright
