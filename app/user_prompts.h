#pragma once

#include <QString>

class QWidget;

namespace cardwright {

class TLedSettingFrm;
class TNewSoluationFrm;

// The questions the main window puts to the user: message boxes and file dialogs. Tests answer
// them through an implementation of their own.
class UserPrompts {
  public:
    virtual ~UserPrompts() = default;
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // Empty when the user cancels.
    virtual QString AskOpenFileName(QWidget* parent, const QString& filter) = 0;
    virtual QString AskSaveFileName(QWidget* parent, const QString& filter) = 0;
    // Shows the LED step dialog as it has been preset; true when it closed with OK.
    virtual bool AskLedStep(TLedSettingFrm& dialog) = 0;
    // Shows the new-solution dialog; true when it closed with OK.
    virtual bool AskNewSolution(TNewSoluationFrm& dialog) = 0;
    // A question answered Yes (true) or No.
    virtual bool AskYesNo(QWidget* parent, const QString& question) = 0;
};

// For a run without anyone at the window (a command file): messages go to standard output,
// and every question is answered as if the user cancelled it.
class ConsolePrompts : public UserPrompts {
  public:
    void ShowMessage(QWidget* parent, const QString& text) override;
    QString AskOpenFileName(QWidget*, const QString&) override { return {}; }
    QString AskSaveFileName(QWidget*, const QString&) override { return {}; }
    bool AskLedStep(TLedSettingFrm&) override { return false; }
    bool AskNewSolution(TNewSoluationFrm&) override { return false; }
    // Printed, and answered No.
    bool AskYesNo(QWidget* parent, const QString& question) override;
};

// Modal message boxes with an OK button and the platform's file dialogs.
class DialogPrompts : public UserPrompts {
  public:
    void ShowMessage(QWidget* parent, const QString& text) override;
    QString AskOpenFileName(QWidget* parent, const QString& filter) override;
    QString AskSaveFileName(QWidget* parent, const QString& filter) override;
    bool AskLedStep(TLedSettingFrm& dialog) override;
    bool AskNewSolution(TNewSoluationFrm& dialog) override;
    bool AskYesNo(QWidget* parent, const QString& question) override;
};

}  // namespace cardwright
