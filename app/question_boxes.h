#pragma once

#include <QPointer>
#include <QString>

#include "cardwork/presenter/window_presenter.h"

class QDialog;
class QWidget;

namespace cardwright {

class TAboutBox;
class TLedSettingFrm;
class TNewSoluationFrm;

// The message boxes and dialogs that answer the presenter's questions. Each is opened without a
// loop of its own (QDialog::open); the presenter gets the answer when it closes.
class QuestionBoxes {
  public:
    struct Dialogs {
        TLedSettingFrm& led_step;
        TNewSoluationFrm& new_solution;
        TAboutBox& about;
    };

    QuestionBoxes(QWidget& window, WindowPresenter& presenter, Dialogs dialogs)
        : window_(window), presenter_(presenter), dialogs_(dialogs) {}

    void Message(QuestionId id, const QString& text, MessageIcon icon);
    void YesNo(QuestionId id, const QString& question);
    void FileName(QuestionId id, const FileQuestion& question);
    void LedStep(QuestionId id, const cardwright::LedStep& preset);
    void NewSolution(QuestionId id);
    void About(QuestionId id);

    // The box open goes without an answer: the window closes, and the presenter has answered
    // its question itself.
    void Withdraw();

  private:
    // Opens `dialog` and answers `id` with what `answer` makes of its result when it closes.
    template <class Answering>
    void Open(QDialog& dialog, QuestionId id, Answering answer);

    QWidget& window_;
    WindowPresenter& presenter_;
    Dialogs dialogs_;
    QPointer<QDialog> open_;
};

}  // namespace cardwright
