#include "app/led_setting_unit.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "app/qt_text.h"
#include "cardwork/presenter/view_rules.h"

namespace cardwright {

TLedSettingFrm::TLedSettingFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LedSettingFrm"));
    setWindowTitle(QStringLiteral("LedSettingFrm"));
    setModal(true);
    setFixedSize(250, 130);

    auto* color_label = new QLabel(QStringLiteral("Color"), this);
    color_label->setGeometry(16, 18, 90, 20);
    LedColorComboBox = new QComboBox(this);
    LedColorComboBox->setObjectName(QStringLiteral("LedColorComboBox"));
    for (std::string_view entry : LedColorEntries()) {
        LedColorComboBox->addItem(Q(entry));
    }
    LedColorComboBox->setCurrentIndex(0);
    LedColorComboBox->setGeometry(110, 14, 120, 24);

    auto* time_label = new QLabel(QStringLiteral("Time (100ms)"), this);
    time_label->setGeometry(16, 52, 90, 20);
    LedIntervalComb0Box = new QComboBox(this);
    LedIntervalComb0Box->setObjectName(QStringLiteral("LedIntervalComb0Box"));
    LedIntervalComb0Box->setEditable(true);
    for (std::string_view time : LedTimeSuggestions()) {
        LedIntervalComb0Box->addItem(Q(time));
    }
    LedIntervalComb0Box->setEditText(QStringLiteral("1"));
    LedIntervalComb0Box->setGeometry(110, 48, 120, 24);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    OKBtn->setGeometry(40, 92, 75, 25);
    connect(OKBtn, &QPushButton::clicked, this, &TLedSettingFrm::OKBtnClick);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(135, 92, 75, 25);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TLedSettingFrm::Preset(const LedStep& step) {
    LedColorComboBox->setCurrentIndex(step.colour >= 1 && step.colour <= 8 ? step.colour - 1 : -1);
    LedIntervalComb0Box->setEditText(QString::number(step.time));
    preset_time_ = step.time;
    setResult(QDialog::Rejected);
}

std::optional<int32_t> TLedSettingFrm::ChosenTime() const {
    return LedTimeFromText(LedIntervalComb0Box->currentText().toStdString(), preset_time_);
}

LedStep TLedSettingFrm::Step() const {
    return {static_cast<uint8_t>(LedColorComboBox->currentIndex() + 1), ChosenTime().value_or(0)};
}

void TLedSettingFrm::OKBtnClick() {
    if (!ChosenTime()) {
        auto* box = new QMessageBox(QMessageBox::Information, QApplication::applicationName(),
                                    Q(kBadLedTimeMessage), QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("BadTimeBox"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    accept();
}

}  // namespace cardwright
