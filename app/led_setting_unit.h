#pragma once

#include <QDialog>
#include <optional>

#include "cardwork/model/led_table.h"

class QComboBox;
class QPushButton;

namespace cardwright {

// The dialog for one step of an LED pattern: a colour and a time in units of 100 ms. One
// instance lives as long as the main window; its boxes keep their content between uses.
class TLedSettingFrm : public QDialog {
    Q_OBJECT

  public:
    explicit TLedSettingFrm(QWidget* parent = nullptr);

    // Shows a step as the LED table holds it; a colour outside 1 to 8 selects no entry.
    void Preset(const LedStep& step);
    // The step the boxes hold: colour code 0 when no entry is selected. The time is the one
    // OK accepted (0 to 255, or the preset one).
    LedStep Step() const;

    QComboBox* LedColorComboBox = nullptr;
    QComboBox* LedIntervalComb0Box = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

  private:
    std::optional<int32_t> ChosenTime() const;

    // OK is taken only with a time the card can keep; else the dialog says why and stays.
    void OKBtnClick();

    int32_t preset_time_ = 1;  // the time of the step being modified
};

}  // namespace cardwright
