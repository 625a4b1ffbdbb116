#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>

#include "app/main_unit.h"
#include "tests/app/dialog_answers.h"

namespace benchsupport {

// Lets the window work, its boxes and dialogs answered, until it has nothing more to do: the
// start-up sequence and the command under way have ended, and what they showed is shown.
inline void Settle(cardwright::TMainFrm& window, testsupport::DialogAnswers& answers) {
    auto* start_up = window.findChild<QTimer*>(QStringLiteral("Timer1"));
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(std::chrono::milliseconds(1));
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!answers.AnswerOpen(window) && !start_up->isActive() &&
            !window.Presenter().CommandRunning()) {
            loop.quit();
        }
    });
    poll.start();
    loop.exec();
    QCoreApplication::processEvents();
}

}  // namespace benchsupport
