#include "app/script_runner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "cardwork/card/card_work_seams.h"
#include "app/main_unit.h"
#include "cardwork/model/model_clock.h"

namespace cardwright {

namespace {

constexpr std::chrono::milliseconds kIdleCheck{100};
constexpr std::chrono::milliseconds kCardRetry{500};

void Say(const QString& text) {
    std::fputs(qPrintable(QStringLiteral("script: %1\n").arg(text)), stdout);
    std::fflush(stdout);
}

}  // namespace

ScriptRunner::ScriptRunner(TMainFrm& window, QStringList lines, QObject* parent)
    : QObject(parent), window_(window), lines_(std::move(lines)) {}

QStringList ScriptRunner::ReadLines(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return {};
    }
    QStringList lines;
    QTextStream in(&file);
    while (!in.atEnd()) {
        lines.append(in.readLine());
    }
    return lines;
}

void ScriptRunner::Start(std::function<void(int)> finished) {
    finished_ = std::move(finished);
    QTimer::singleShot(0, this, &ScriptRunner::Next);
}

// One line per turn of the event loop, and only while no command runs and the start-up
// sequence is over, as a user's next click would be.
void ScriptRunner::Next() {
    if (window_.CommandRunning() || window_.Timer1->isActive()) {
        QTimer::singleShot(kIdleCheck, this, &ScriptRunner::Next);
        return;
    }
    while (next_ < lines_.size()) {
        const QString line = lines_[next_++].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        Say(line);
        QString error;
        if (line == QStringLiteral("quit")) {
            finished_(0);
            return;
        }
        if (!Run(line, &error)) {
            std::fputs(qPrintable(QStringLiteral("script: line %1: %2\n").arg(next_).arg(error)),
                       stderr);
            finished_(1);
            return;
        }
        QTimer::singleShot(0, this, &ScriptRunner::Next);
        return;
    }
    finished_(0);
}

bool ScriptRunner::Run(const QString& line, QString* error) {
    const QString verb = line.section(QLatin1Char(' '), 0, 0);
    const QString rest = line.section(QLatin1Char(' '), 1).trimmed();
    if (verb == QStringLiteral("read")) {
        window_.ReadFromDataCardBtnClick();
        return true;
    }
    if (verb == QStringLiteral("write")) {
        window_.WriteToDataCardBtnClick();
        return true;
    }
    if (verb == QStringLiteral("select")) {
        const std::string name = rest.section(QLatin1Char(' '), 0, 0).toStdString();
        const QString text = rest.section(QLatin1Char(' '), 1).trimmed();
        QComboBox* box = window_.ValueBox(name);
        QCheckBox* label = window_.LabelBox(name);
        if (box == nullptr || label == nullptr) {
            *error = QStringLiteral("no item %1 on the pages").arg(QString::fromStdString(name));
            return false;
        }
        label->setChecked(true);
        window_.ToggleItemControl(label);
        if (box->isEditable()) {
            box->setEditText(text);
        } else if (const int index = box->findText(text, Qt::MatchFixedString); index >= 0) {
            box->setCurrentIndex(index);
        } else {
            *error = QStringLiteral("%1 does not offer %2").arg(QString::fromStdString(name), text);
            return false;
        }
        return true;
    }
    if (verb == QStringLiteral("wait-for-card")) {
        bool back = false;
        window_.RunCommand([&] { back = WaitForCard(rest.toInt()); });
        if (!back) {
            *error = QStringLiteral("the card did not come back within %1 s").arg(rest);
            return false;
        }
        return true;
    }
    if (verb == QStringLiteral("tab")) {
        for (int i = 0; i < window_.PageControl1->count(); ++i) {
            if (window_.PageControl1->tabText(i) == rest && window_.PageControl1->isTabVisible(i)) {
                window_.PageControl1->setCurrentIndex(i);
                return true;
            }
        }
        *error = QStringLiteral("no tab %1 is shown").arg(rest);
        return false;
    }
    if (verb == QStringLiteral("screenshot")) {
        if (!window_.grab().save(rest)) {
            *error = QStringLiteral("cannot save %1").arg(rest);
            return false;
        }
        return true;
    }
    *error = QStringLiteral("unknown command %1").arg(verb);
    return false;
}

// The card restarts after a Write and is gone for a while: try to open it until it answers.
bool ScriptRunner::WaitForCard(int seconds) {
    const auto give_up = AppClock().Now() + std::chrono::seconds(seconds);
    for (;;) {
        if (CardPresent(window_.Card())) {
            return true;
        }
        if (AppClock().Now() >= give_up) {
            return false;
        }
        QEventLoop pause;
        QTimer::singleShot(
            std::chrono::duration_cast<std::chrono::milliseconds>(AppClock().Real(kCardRetry)),
            &pause, &QEventLoop::quit);
        pause.exec();
    }
}

}  // namespace cardwright
