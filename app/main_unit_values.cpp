#include <QCheckBox>
#include <QComboBox>

#include "cardwork/card/card_writer.h"
#include "app/main_unit.h"
#include "app/window_log.h"

namespace cardwright {

void TMainFrm::ShowItemText(QComboBox* value_box, const QString& text) {
    if (const auto index = state_.values.Find(value_box->objectName().toStdString())) {
        state_.values.Show(*index, text.toStdString());
    }
}

void TMainFrm::GatherValues() {
    const size_t count = std::min(item_controls_.size(), state_.values.size());
    for (size_t index = 0; index < count; ++index) {
        const ItemControls& controls = item_controls_[index];
        if (controls.value != nullptr) {
            state_.values.Take(index, controls.value->currentText().toStdString(),
                               controls.value->isEditable() ? -1 : controls.value->currentIndex(),
                               controls.label->isChecked());
        }
    }
}

void TMainFrm::ResetUncheckedItems() {
    GatherValues();
    state_.values.ResetUnchecked();
}

bool TMainFrm::ValidateItems() {
    GatherValues();
    return cardwright::ValidateItems(state_, *log_);
}

void TMainFrm::ClearAllValues() {
    cardwright::ClearAllValues(state_, *this);
}

}  // namespace cardwright
