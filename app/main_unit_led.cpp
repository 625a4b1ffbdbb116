#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QTreeWidget>

#include "cardwork/card/card_writer.h"
#include "app/led_setting_unit.h"
#include "app/main_unit.h"
#include "cardwork/model/stored_values.h"
#include "app/qt_text.h"

namespace cardwright {

namespace {

// The page's items take the left part of the tab (their layout starts at x = 10); the two lists
// the rest, a margin away from the items and the tab's edges.
constexpr int kItemsWidth = 240;
constexpr int kListMargin = 10;
constexpr int kStatusListWidth = 130;
const QString kNoStep = QStringLiteral("--");

QTreeWidget* NewListView(const char* name, const QStringList& columns, QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setColumnCount(static_cast<int>(columns.size()));
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setAllColumnsShowFocus(true);
    list->header()->setSectionsMovable(false);
    return list;
}

}  // namespace

void TMainFrm::CreateLedPage() {
    ListView2 = NewListView("ListView2", {QStringLiteral("Status")}, LedSheet);
    ListView2->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView2->setFixedWidth(kStatusListWidth);
    for (std::string_view caption : LedStatusCaptions()) {
        ListView2->addTopLevelItem(new QTreeWidgetItem(QStringList{Q(caption)}));
    }
    connect(ListView2, &QTreeWidget::itemClicked, this, [this] { ListView2Click(); });
    connect(ListView2, &QTreeWidget::itemSelectionChanged, this, [this] { ListView2Change(); });

    ListView1 =
        NewListView("ListView1", {QStringLiteral("颜色"), QStringLiteral("时间")}, LedSheet);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { ModifyLedMenuClick(); });

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    const auto add = [this](const char* name, const QString& text, void (TMainFrm::*handler)()) {
        QAction* action = PopupMenu2->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    DeleteLedMenu = add("DeleteLedMenu", QStringLiteral("Delete"), &TMainFrm::DeleteLedMenuClick);
    ModifyLedMenu = add("ModifyLedMenu", QStringLiteral("Modify"), &TMainFrm::ModifyLedMenuClick);
    DeleteAllLedMenu =
        add("DeleteAllLedMenu", QStringLiteral("Delete all"), &TMainFrm::DeleteAllLedMenuClick);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu2->popup(ListView1->viewport()->mapToGlobal(at));
    });

    auto* lists = new QHBoxLayout(LedSheet);
    lists->setContentsMargins(kItemsWidth + kListMargin, kListMargin, kListMargin, kListMargin);
    lists->addWidget(ListView2);
    lists->addWidget(ListView1, 1);
}

int TMainFrm::SelectedLedStatus() const {
    const auto selected = ListView2->selectedItems();
    return selected.isEmpty() ? 0 : ListView2->indexOfTopLevelItem(selected.first()) + 1;
}

// The editing commands act on the first selected row in list order.
QTreeWidgetItem* TMainFrm::FirstSelectedStep() const {
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row) {
        if (ListView1->topLevelItem(row)->isSelected()) {
            return ListView1->topLevelItem(row);
        }
    }
    return nullptr;
}

void TMainFrm::ShowLedSteps() {
    ListView1->clear();
    const int status = SelectedLedStatus();
    if (status == 0) {
        return;
    }
    bool ended = false;
    for (int t = 1; t <= kLedSteps; ++t) {
        const LedStep& step = LedInfo.Step(status, t);
        const std::string name = LedColorName(step.colour);
        ended = ended || step.time == 0 || step.time == -1 || name == "--";
        ListView1->addTopLevelItem(
            new QTreeWidgetItem(ended ? QStringList{kNoStep, kNoStep}
                                      : QStringList{Q(name), QString::number(step.time)}));
    }
}

void TMainFrm::ListView2Click() {
    ShowLedSteps();
}

void TMainFrm::ListView2Change() {
    ShowLedSteps();
}

void TMainFrm::ModifyLedMenuClick() {
    QTreeWidgetItem* row = FirstSelectedStep();
    const int status = SelectedLedStatus();
    if (row == nullptr || status == 0) {
        return;
    }
    const int index = ListView1->indexOfTopLevelItem(row);
    if (index > 0 && ListView1->topLevelItem(index - 1)->text(0) == kNoStep) {
        prompts_->ShowMessage(this, QStringLiteral("Please set the previous number first..."));
        return;
    }
    // The dialog starts from the step as the table holds it, so OK alone changes nothing.
    LedSettingFrm->Preset(LedInfo.Step(status, index + 1));
    if (!prompts_->AskLedStep(*LedSettingFrm)) {
        return;
    }
    row->setText(0, LedSettingFrm->LedColorComboBox->currentText());
    row->setText(1, LedSettingFrm->LedIntervalComb0Box->currentText());
    LedInfo.SetStep(status, index + 1, LedSettingFrm->Step());
    LedInfo.SetFrom(LedTable::Source::kEdited);
}

void TMainFrm::DeleteLedMenuClick() {
    QTreeWidgetItem* row = FirstSelectedStep();
    const int status = SelectedLedStatus();
    if (row == nullptr || status == 0) {
        return;
    }
    row->setText(0, kNoStep);
    row->setText(1, kNoStep);
    LedInfo.SetStep(status, ListView1->indexOfTopLevelItem(row) + 1, {});
    LedInfo.SetFrom(LedTable::Source::kEdited);
}

void TMainFrm::DeleteAllLedMenuClick() {
    const int status = SelectedLedStatus();
    if (ListView1->topLevelItemCount() == 0 || status == 0) {
        return;
    }
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row) {
        ListView1->topLevelItem(row)->setText(0, kNoStep);
        ListView1->topLevelItem(row)->setText(1, kNoStep);
        LedInfo.SetStep(status, row + 1, {});
    }
    LedInfo.SetFrom(LedTable::Source::kEdited);
}

bool TMainFrm::ReadLedInfo() {
    return CardReader(Seams()).ReadLedInfo(state_);
}

bool TMainFrm::WriteLedInfo() {
    return CardWriter(Seams()).WriteLedInfo(state_);
}

void TMainFrm::LoadLedInfo(const std::string& section) {
    cardwright::LoadLedInfo(state_, Values(), section);
}

std::string TMainFrm::LedStatusLine(int status) const {
    return LedInfo.Line(status);
}

}  // namespace cardwright
