#include "app/user_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <cstdio>

#include "app/led_setting_unit.h"
#include "app/new_sul_unit.h"

namespace cardwright {

void DialogPrompts::ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QApplication::applicationName(), text, QMessageBox::Ok);
}

void ConsolePrompts::ShowMessage(QWidget*, const QString& text) {
    std::fputs(qPrintable(QStringLiteral("message: %1\n").arg(text)), stdout);
    std::fflush(stdout);
}

bool ConsolePrompts::AskYesNo(QWidget*, const QString& question) {
    std::fputs(qPrintable(QStringLiteral("question: %1 No\n").arg(question)), stdout);
    std::fflush(stdout);
    return false;
}

bool DialogPrompts::AskYesNo(QWidget* parent, const QString& question) {
    return QMessageBox::question(parent, QApplication::applicationName(), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

namespace {

// "Ini Files|*.ini", as the window names its files, in the form Qt's dialogs take:
// "Ini Files (*.ini)".
QString DialogFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        filters.append(QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]));
    }
    return filters.join(QStringLiteral(";;"));
}

}  // namespace

QString DialogPrompts::AskOpenFileName(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), DialogFilter(filter));
}

QString DialogPrompts::AskSaveFileName(QWidget* parent, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, QString(), QString(), DialogFilter(filter));
}

bool DialogPrompts::AskLedStep(TLedSettingFrm& dialog) {
    return dialog.exec() == QDialog::Accepted;
}

bool DialogPrompts::AskNewSolution(TNewSoluationFrm& dialog) {
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace cardwright
