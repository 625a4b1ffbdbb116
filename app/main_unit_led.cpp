// The LED page's two lists and the step list's menu; what they show comes from the presenter.
#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QTreeWidget>

#include "app/main_unit.h"
#include "app/qt_text.h"
#include "cardwork/model/led_table.h"

namespace cardwright {

namespace {

// The page's items take the left part of the tab (their layout starts at x = 10); the two lists
// the rest, a margin away from the items and the tab's edges.
constexpr int kItemsWidth = 240;
constexpr int kListMargin = 10;
constexpr int kStatusListWidth = 130;

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
    const auto selected_status = [this] {
        const auto selected = ListView2->selectedItems();
        presenter_->SelectLedStatus(
            selected.isEmpty() ? 0 : ListView2->indexOfTopLevelItem(selected.first()) + 1);
    };
    connect(ListView2, &QTreeWidget::itemClicked, this, selected_status);
    connect(ListView2, &QTreeWidget::itemSelectionChanged, this, selected_status);

    ListView1 =
        NewListView("ListView1", {QStringLiteral("颜色"), QStringLiteral("时间")}, LedSheet);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this,
            [this] { presenter_->ModifyLedStep(FirstSelectedStep()); });

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    const auto add = [this](const char* name, const QString& text, auto command) {
        QAction* action = PopupMenu2->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, command);
    };
    add("DeleteLedMenu", QStringLiteral("Delete"),
        [this] { presenter_->DeleteLedStep(FirstSelectedStep()); });
    add("ModifyLedMenu", QStringLiteral("Modify"),
        [this] { presenter_->ModifyLedStep(FirstSelectedStep()); });
    add("DeleteAllLedMenu", QStringLiteral("Delete all"),
        [this] { presenter_->DeleteAllLedSteps(); });
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu2->popup(ListView1->viewport()->mapToGlobal(at));
    });

    auto* lists = new QHBoxLayout(LedSheet);
    lists->setContentsMargins(kItemsWidth + kListMargin, kListMargin, kListMargin, kListMargin);
    lists->addWidget(ListView2);
    lists->addWidget(ListView1, 1);
}

// The editing commands act on the first selected row in list order.
int TMainFrm::FirstSelectedStep() const {
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row) {
        if (ListView1->topLevelItem(row)->isSelected()) {
            return row + 1;
        }
    }
    return 0;
}

}  // namespace cardwright
