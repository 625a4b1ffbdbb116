#include "app/question_boxes.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "app/about_unit.h"
#include "app/led_setting_unit.h"
#include "app/new_sul_unit.h"
#include "app/qt_text.h"

namespace cardwright {

namespace {

// "Ini Files|*.ini", as the presenter names its files, in the form Qt's dialogs take:
// "Ini Files (*.ini)".
QString DialogFilter(const std::string& filter) {
    const QStringList parts = Q(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        filters.append(QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]));
    }
    return filters.join(QStringLiteral(";;"));
}

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kWarning:
            return QMessageBox::Warning;
        case MessageIcon::kError:
            return QMessageBox::Critical;
        case MessageIcon::kInformation:
            break;
    }
    return QMessageBox::Information;
}

}  // namespace

template <class Answering>
void QuestionBoxes::Open(QDialog& dialog, QuestionId id, Answering answer) {
    open_ = &dialog;
    QObject::connect(
        &dialog, &QDialog::finished, &window_,
        [this, id, answer, &dialog](int result) {
            if (open_ == &dialog) {
                open_ = nullptr;
                presenter_.Answer(id, answer(result));
            }
        },
        Qt::SingleShotConnection);
    dialog.open();
}

void QuestionBoxes::Message(QuestionId id, const QString& text, MessageIcon icon) {
    auto* box = new QMessageBox(BoxIcon(icon), QApplication::applicationName(), text,
                                QMessageBox::Ok, &window_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    Open(*box, id, [](int) {
        Answer answer;
        answer.accepted = true;
        return answer;
    });
}

void QuestionBoxes::YesNo(QuestionId id, const QString& question) {
    auto* box = new QMessageBox(QMessageBox::Question, QApplication::applicationName(), question,
                                QMessageBox::Yes | QMessageBox::No, &window_);
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    Open(*box, id, [](int result) {
        Answer answer;
        answer.accepted = result == QMessageBox::Yes;
        return answer;
    });
}

void QuestionBoxes::FileName(QuestionId id, const FileQuestion& question) {
    auto* dialog = new QFileDialog(&window_, QString(), QString(), DialogFilter(question.filter));
    dialog->setObjectName(QStringLiteral("FileDialog"));
    dialog->setAcceptMode(question.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(question.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    Open(*dialog, id, [dialog](int result) {
        Answer answer;
        const QStringList files = dialog->selectedFiles();
        answer.accepted = result == QDialog::Accepted && !files.isEmpty();
        if (answer.accepted) {
            answer.text = files.first().toStdString();
        }
        return answer;
    });
}

void QuestionBoxes::LedStep(QuestionId id, const cardwright::LedStep& preset) {
    TLedSettingFrm& dialog = dialogs_.led_step;
    dialog.Preset(preset);
    Open(dialog, id, [&dialog](int result) {
        Answer answer;
        answer.accepted = result == QDialog::Accepted;
        answer.step = dialog.Step();
        return answer;
    });
}

void QuestionBoxes::NewSolution(QuestionId id) {
    TNewSoluationFrm& dialog = dialogs_.new_solution;
    Open(dialog, id, [&dialog](int result) {
        Answer answer;
        answer.accepted = result == QDialog::Accepted;
        answer.text = dialog.Edit1->text().toStdString();
        answer.flag = dialog.CheckBox1->isChecked();
        return answer;
    });
}

void QuestionBoxes::About(QuestionId id) {
    Open(dialogs_.about, id, [](int) {
        Answer answer;
        answer.accepted = true;
        return answer;
    });
}

void QuestionBoxes::Withdraw() {
    if (QDialog* dialog = open_) {
        open_ = nullptr;
        dialog->reject();
    }
}

}  // namespace cardwright
