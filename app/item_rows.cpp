#include "app/item_rows.h"

#include <QComboBox>

#include "app/item_check_box.h"
#include "app/qt_text.h"

namespace cardwright {

namespace {

// An item's controls: the check box at the layout's place, the value box on top of its far end
// and a little higher, so that the box's text and the caption share a base line.
constexpr int kLabelWidth = 140;
constexpr int kValueBoxOffset = 120;
constexpr int kValueBoxRaise = 5;
const QString kLabelPrefix = QStringLiteral("LABEL_");

}  // namespace

void ItemRows::Add(QWidget& page, const PageRow& row, int page_height) {
    auto layout = layouts_.try_emplace(&page, page_height).first;
    const ItemLayout::Point at = layout->second.Current();
    auto* label = new ItemCheckBox(Q(row.caption), kValueBoxOffset, &page);
    label->setObjectName(kLabelPrefix + Q(row.name));
    label->setGeometry(at.x, at.y, kLabelWidth, label->sizeHint().height());
    label->setVisible(row.visible);

    auto* value = new QComboBox(&page);
    value->setObjectName(Q(row.name));
    value->setEditable(row.editable);
    for (const std::string& entry : row.choices) {
        value->addItem(Q(entry));
    }
    value->setCurrentIndex(-1);
    value->setEnabled(false);
    value->setGeometry(at.x + kValueBoxOffset, at.y - kValueBoxRaise, row.width,
                       value->sizeHint().height());
    value->setVisible(row.visible);
    layout->second.Advance(row.visible);

    const size_t item = row.item;
    QObject::connect(label, &QCheckBox::toggled, value, [this, item, value](bool ticked) {
        value->setEnabled(ticked);
        Report(item);
    });
    if (row.editable) {
        QObject::connect(value, &QComboBox::editTextChanged, value, [this, item] { Report(item); });
    } else {
        QObject::connect(value, &QComboBox::currentIndexChanged, value,
                         [this, item] { Report(item); });
    }
    boxes_[item] = {label, value, &page};
    ++rows_on_page_[&page];
}

void ItemRows::Remove(size_t item) {
    const auto found = boxes_.find(item);
    if (found == boxes_.end()) {
        return;
    }
    const Boxes boxes = found->second;
    boxes_.erase(found);
    delete boxes.label;
    delete boxes.value;
    // A page left without rows lays out the next build's rows from its top.
    if (--rows_on_page_[boxes.page] == 0) {
        rows_on_page_.erase(boxes.page);
        layouts_.erase(boxes.page);
    }
}

void ItemRows::Show(size_t item, const ItemState& state) {
    const auto found = boxes_.find(item);
    if (found == boxes_.end()) {
        return;
    }
    const Boxes& boxes = found->second;
    showing_ = true;
    if (boxes.value->isEditable()) {
        boxes.value->setEditText(Q(state.text));
    } else {
        boxes.value->setCurrentIndex(state.entry);
    }
    boxes.label->setChecked(state.ticked);
    boxes.value->setEnabled(state.ticked);
    showing_ = false;
}

void ItemRows::Hide(size_t item) {
    const auto found = boxes_.find(item);
    if (found != boxes_.end()) {
        found->second.label->setVisible(false);
        found->second.value->setVisible(false);
    }
}

void ItemRows::Report(size_t item) const {
    const auto found = boxes_.find(item);
    if (showing_ || found == boxes_.end()) {
        return;
    }
    const Boxes& boxes = found->second;
    const bool editable = boxes.value->isEditable();
    edited_(item, boxes.value->currentText().toStdString(),
            editable ? -1 : boxes.value->currentIndex(), boxes.label->isChecked());
}

}  // namespace cardwright
