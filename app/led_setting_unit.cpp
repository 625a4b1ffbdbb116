#include "app/led_setting_unit.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "app/user_prompts.h"

namespace cardwright {

namespace {

// Times of one byte only: the card cannot hold 500 or 1000.
const char* const kTimeSuggestions[] = {"1",  "2",  "3",  "4",  "5",  "6",  "7",   "8",  "9",
                                        "10", "15", "20", "25", "30", "50", "100", "200"};

std::optional<int32_t> TimeOf(const QString& text) {
    const auto time = ParseDecimal(text.toStdString());
    if (!time || *time < 0 || *time > kLedMaxTime) {
        return std::nullopt;
    }
    return time;
}

}  // namespace

TLedSettingFrm::TLedSettingFrm(UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts) {
    setObjectName(QStringLiteral("LedSettingFrm"));
    setWindowTitle(QStringLiteral("LedSettingFrm"));
    setModal(true);
    setFixedSize(250, 130);

    auto* color_label = new QLabel(QStringLiteral("Color"), this);
    color_label->setGeometry(16, 18, 90, 20);
    LedColorComboBox = new QComboBox(this);
    LedColorComboBox->setObjectName(QStringLiteral("LedColorComboBox"));
    for (std::string_view entry : LedColorEntries()) {
        LedColorComboBox->addItem(QString::fromUtf8(entry.data(), qsizetype(entry.size())));
    }
    LedColorComboBox->setCurrentIndex(0);
    LedColorComboBox->setGeometry(110, 14, 120, 24);

    auto* time_label = new QLabel(QStringLiteral("Time (100ms)"), this);
    time_label->setGeometry(16, 52, 90, 20);
    LedIntervalComb0Box = new QComboBox(this);
    LedIntervalComb0Box->setObjectName(QStringLiteral("LedIntervalComb0Box"));
    LedIntervalComb0Box->setEditable(true);
    for (const char* time : kTimeSuggestions) {
        LedIntervalComb0Box->addItem(QString::fromLatin1(time));
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

// The time typed, or the step's own time when it was left as it was (-1, which a loaded pattern
// may carry to mark its end, is then kept rather than refused).
std::optional<int32_t> TLedSettingFrm::ChosenTime() const {
    const QString text = LedIntervalComb0Box->currentText();
    if (preset_time_ && text == QString::number(*preset_time_)) {
        return preset_time_;
    }
    return TimeOf(text);
}

LedStep TLedSettingFrm::Step() const {
    return {static_cast<uint8_t>(LedColorComboBox->currentIndex() + 1), ChosenTime().value_or(0)};
}

void TLedSettingFrm::OKBtnClick() {
    if (!ChosenTime()) {
        prompts_.ShowMessage(this, QString::fromLatin1(kBadTimeMessage));
        return;
    }
    accept();
}

}  // namespace cardwright
