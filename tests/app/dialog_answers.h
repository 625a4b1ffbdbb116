#pragma once

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <functional>

#include "app/about_unit.h"
#include "app/led_setting_unit.h"
#include "app/new_sul_unit.h"

namespace testsupport {

// How the user answers the window's message boxes and dialogs: the real ones, as they open.
struct DialogAnswers {
    QStringList messages;   // the message boxes' texts, in order
    QStringList questions;  // asked Yes or No
    bool answer_yes = true;
    QString open_file;  // the file dialogs' answers; empty: cancelled
    QString save_file;
    int file_dialogs = 0;
    std::function<void(cardwright::TLedSettingFrm&)> answer_led;  // presses a button itself
    std::function<void(cardwright::TNewSoluationFrm&)> answer_new_solution;

    // Answers every box or dialog open on `window`; true when there was one.
    bool AnswerOpen(QWidget& window) {
        for (QMessageBox* box : window.findChildren<QMessageBox*>()) {
            if (!box->isVisible()) {
                continue;
            }
            if (box->standardButtons() & QMessageBox::Yes) {
                questions.append(box->text());
                box->button(answer_yes ? QMessageBox::Yes : QMessageBox::No)->click();
            } else {
                messages.append(box->text());
                box->button(QMessageBox::Ok)->click();
            }
            return true;
        }
        for (QFileDialog* dialog : window.findChildren<QFileDialog*>()) {
            if (dialog->isVisible()) {
                ++file_dialogs;
                const QString& file =
                    dialog->acceptMode() == QFileDialog::AcceptSave ? save_file : open_file;
                if (file.isEmpty()) {
                    dialog->reject();
                } else {
                    // Typed, as a user does: the dialog's list of files may not be read yet.
                    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(file);
                    static_cast<QDialog*>(dialog)->accept();
                }
                return true;
            }
        }
        if (auto* led = window.findChild<cardwright::TLedSettingFrm*>(); led && led->isVisible()) {
            answer_led ? answer_led(*led) : led->reject();
            return true;
        }
        if (auto* add = window.findChild<cardwright::TNewSoluationFrm*>();
            add && add->isVisible()) {
            answer_new_solution ? answer_new_solution(*add) : add->reject();
            return true;
        }
        if (auto* about = window.findChild<cardwright::TAboutBox*>(); about && about->isVisible()) {
            about->accept();
            return true;
        }
        return false;
    }
};

}  // namespace testsupport
