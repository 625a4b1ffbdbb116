#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace cardwright {

// The new-solution dialog: the solution's name and whether it configures the LED.
class TNewSoluationFrm : public QDialog {
    Q_OBJECT

  public:
    explicit TNewSoluationFrm(QWidget* parent = nullptr);

    QLineEdit* Edit1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
};

}  // namespace cardwright
