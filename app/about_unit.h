#pragma once

#include <QDialog>

namespace cardwright {

// The About box: the product's name and version.
class TAboutBox : public QDialog {
    Q_OBJECT

  public:
    explicit TAboutBox(QWidget* parent = nullptr);
};

}  // namespace cardwright
