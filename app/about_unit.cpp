#include "app/about_unit.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace cardwright {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(298, 213);
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));
    icon->setGeometry(24, 24, 48, 48);

    auto* product = new QLabel(QStringLiteral("Product Name: Cardwright"), this);
    product->setObjectName(QStringLiteral("ProductName"));
    product->setGeometry(96, 32, 190, 20);
    auto* version = new QLabel(QStringLiteral("Version: V100R001B204"), this);
    version->setObjectName(QStringLiteral("Version"));
    version->setGeometry(96, 60, 190, 20);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(111, 168, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace cardwright
