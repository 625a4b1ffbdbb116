#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <chrono>

#include "app/library_worker.h"
#include "app/main_unit.h"
#include "app/qt_text.h"
#include "app/window_log.h"
#include "cardwork/card/library_card.h"
#include "cardwork/model/model_clock.h"

namespace cardwright {

namespace {

constexpr std::chrono::milliseconds kLogPause{50};
// A step of WorkDone is about 10 us of the window's work on our machines: the window answers
// every 5 ms or so while a long piece of work goes on.
constexpr int kStepsBetweenAnswers = 500;

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        default:
            return false;
    }
}

}  // namespace

CardAccess& TMainFrm::Card() {
    return *card_;
}

CardWorkSeams TMainFrm::Seams() {
    return {*card_, *log_, *this, *this};
}

bool TMainFrm::RunCommand(const std::function<void()>& command) {
    if (command_running_) {
        ShowStep(QStringLiteral("Busy: the running command must end first"));
        return false;
    }
    // Undoes what the command's start did, however the command ends.
    struct Running {
        TMainFrm& window;
        explicit Running(TMainFrm& w) : window(w) {
            window.command_running_ = true;
            window.SetCommandsEnabled(false);
            qApp->installEventFilter(&window);
        }
        ~Running() {
            qApp->removeEventFilter(&window);
            window.SetCommandsEnabled(true);
            // The step last shown goes; what the command came to stays until the next one.
            window.ShowStep(Q(window.outcome_));
            window.command_running_ = false;
        }
    };
    outcome_.clear();
    {
        const Running running(*this);
        try {
            GatherValues();
            command();
        } catch (const std::exception& failure) {
            // Nothing a command meets (not even memory running out) may end the program with
            // the user's work unsaved: the command ends, and says why.
            AddLog(QStringLiteral("The command was broken off: %1")
                       .arg(QString::fromLocal8Bit(failure.what())));
            ShowOutcome(std::string("The command was broken off: ") + failure.what());
            prompts_->ShowMessage(this, QStringLiteral("The command was broken off: %1")
                                            .arg(QString::fromLocal8Bit(failure.what())));
        }
    }
    if (close_requested_) {
        close_requested_ = false;
        close();
    }
    return true;
}

void TMainFrm::ShowStep(const QString& text) {
    status_line_ = text;
    StatusBar1->showMessage(text);
}

void TMainFrm::ShowOutcome(const std::string& text) {
    outcome_ = text;
}

void TMainFrm::ShowSource(const std::string& text) {
    SourcePanel->setText(Q(text));
    setWindowTitle(text.empty() ? QStringLiteral("Cardwright")
                                : QStringLiteral("Cardwright - %1").arg(Q(text)));
}

void TMainFrm::CreateMenu() {
    MainMenu1 = new QMenuBar;
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    setMenuBar(MainMenu1);
    // Access keys ("&") underline a letter and leave the words as they are.
    QMenu* edit = MainMenu1->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("Edit1"));
    struct Entry {
        const char* name;
        const char* text;
        QKeyCombination key;
        void (TMainFrm::*handler)();
    };
    for (const Entry& entry :
         {Entry{"Read1", "&Read", Qt::CTRL | Qt::Key_R, &TMainFrm::ReadFromDataCardBtnClick},
          Entry{"Write1", "&Write", Qt::CTRL | Qt::Key_W, &TMainFrm::WriteToDataCardBtnClick},
          Entry{"Import1", "&Import...", Qt::CTRL | Qt::Key_O, &TMainFrm::ImportBtnClick},
          Entry{"Export1", "&Export...", Qt::CTRL | Qt::Key_S, &TMainFrm::ExportBtnClick}}) {
        QAction* action = edit->addAction(QString::fromLatin1(entry.text));
        action->setObjectName(QString::fromLatin1(entry.name));
        action->setShortcut(entry.key);
        connect(action, &QAction::triggered, this, entry.handler);
    }
    QMenu* help = MainMenu1->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* about = help->addAction(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("About1"));
    about->setShortcut(Qt::Key_F1);
    connect(about, &QAction::triggered, this, &TMainFrm::About1Click);
}

void TMainFrm::SetCommandsEnabled(bool enabled) {
    for (QAction* action : ToolBar1->actions()) {
        action->setEnabled(enabled);
    }
    for (QAction* action : MainMenu1->actions()) {
        action->setEnabled(enabled);
    }
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    if (command_running_) {
        close_requested_ = true;
        event->ignore();
        return;
    }
    SaveWindowState();
    QMainWindow::closeEvent(event);
}

// While a command runs, the user's input to this window is dropped (not deferred, so nothing
// runs once the command is over); the log stays scrollable. Dialogs and message boxes the
// command shows are windows of their own and take input as usual.
bool TMainFrm::eventFilter(QObject* watched, QEvent* event) {
    if (command_running_ && IsUserInput(event->type()) && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        const bool in_log = widget == Memo1 || Memo1->isAncestorOf(widget);
        if (widget->window() == this && !in_log) {
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// A menu entry under the mouse sends its (empty) hint to the status bar, which would wipe the
// outcome of the last command; a hint that ends puts the step or outcome back.
bool TMainFrm::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip &&
        static_cast<QStatusTipEvent*>(event)->tip().isEmpty()) {
        StatusBar1->showMessage(status_line_);
        return true;
    }
    return QMainWindow::event(event);
}

void TMainFrm::WorkDone(int steps) {
    if (!command_running_) {
        return;
    }
    steps_unanswered_ += steps;
    if (steps_unanswered_ >= kStepsBetweenAnswers) {
        steps_unanswered_ = 0;
        QCoreApplication::processEvents();
    }
}

void TMainFrm::RunAside(const std::function<void()>& work) {
    // Outside a command the user's input is not kept out: the window must not answer meanwhile.
    // The worker refuses (0) only while another call waits.
    if (!command_running_ || worker_->Run([&] {
            work();
            return int32_t{1};
        }) == 0) {
        work();
    }
}

void TMainFrm::LogPause() {
    if (!command_running_) {
        AppClock().SleepFor(kLogPause);
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(
        std::chrono::duration_cast<std::chrono::milliseconds>(AppClock().Real(kLogPause)), &loop,
        &QEventLoop::quit);
    loop.exec();
}

}  // namespace cardwright
