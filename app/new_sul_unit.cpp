#include "app/new_sul_unit.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace cardwright {

TNewSoluationFrm::TNewSoluationFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("NewSoluationFrm"));
    setWindowTitle(QStringLiteral("NewSoluationFrm"));
    setModal(true);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    CheckBox1 = new QCheckBox(QStringLiteral("配置LED"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* confirm = buttons->addButton(QStringLiteral("确认"), QDialogButtonBox::AcceptRole);
    confirm->setObjectName(QStringLiteral("ConfirmButton"));
    confirm->setDefault(true);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("CancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("方案名称："), Edit1);
    form->addRow(CheckBox1);
    form->addRow(buttons);
}

}  // namespace cardwright
