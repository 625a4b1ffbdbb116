#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

#include "app/main_unit.h"
#include "app/qt_text.h"

namespace cardwright {

namespace {

// Showing one value, in steps of WorkDone.
constexpr int kShowValueSteps = 2;
const QString kIniFilter = QStringLiteral("Ini Files|*.ini");
const QString kNoStep = QStringLiteral("--");

std::optional<std::filesystem::path> Chosen(const QString& name) {
    if (name.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(name.toStdString());
}

}  // namespace

// An item's value and tick, as its boxes show them; the value box is enabled exactly when the
// item is ticked.
void TMainFrm::ItemShown(size_t index) {
    if (index >= item_controls_.size() || item_controls_[index].value == nullptr) {
        return;
    }
    const ItemControls& controls = item_controls_[index];
    const ItemValue& shown = state_.values[index];
    if (controls.value->isEditable()) {
        controls.value->setEditText(Q(shown.text));
    } else {
        controls.value->setCurrentIndex(shown.entry);
    }
    controls.label->setChecked(shown.ticked);
    controls.value->setEnabled(shown.ticked);
    WorkDone(kShowValueSteps);
}

void TMainFrm::ItemHidden(size_t index) {
    if (index < item_controls_.size() && item_controls_[index].value != nullptr) {
        item_controls_[index].label->setVisible(false);
        item_controls_[index].value->setVisible(false);
        WorkDone(kShowValueSteps);
    }
}

void TMainFrm::DescribedPagesHidden() {
    for (QWidget* slot : PageSlots) {
        PageControl1->setTabVisible(SlotIndex(slot), false);
    }
}

void TMainFrm::CommonInfoShown(CommonInfoRow row) {
    CommonInfoLst->item(static_cast<int>(row), 1)->setText(Q(state_.info[row]));
}

void TMainFrm::LedStepsCleared() {
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row) {
        ListView1->topLevelItem(row)->setText(0, kNoStep);
        ListView1->topLevelItem(row)->setText(1, kNoStep);
    }
}

void TMainFrm::RebuildPages(CardWorkState& /*state*/, const IniFile& /*description*/) {
    RebuildConfigPages();
}

void TMainFrm::ShowMessage(std::string_view text) {
    prompts_->ShowMessage(this, Q(text));
}

std::optional<std::filesystem::path> TMainFrm::AskOpenFileName() {
    auto chosen = Chosen(prompts_->AskOpenFileName(this, kIniFilter));
    chosen_file_ = chosen.value_or(std::filesystem::path());
    return chosen;
}

std::optional<std::filesystem::path> TMainFrm::AskSaveFileName() {
    auto chosen = Chosen(prompts_->AskSaveFileName(this, kIniFilter));
    chosen_file_ = chosen.value_or(std::filesystem::path());
    return chosen;
}

// The command has taken what the boxes show into the state.
bool TMainFrm::ConfirmReread() {
    return OnScreen() == settled_ ||
           prompts_->AskYesNo(this, QString::fromLatin1(kExportRereadQuestion));
}

TMainFrm::ScreenValues TMainFrm::OnScreen() const {
    ScreenValues screen;
    for (size_t index = 0; index < state_.values.size(); ++index) {
        const ItemValue& value = state_.values[index];
        screen.items.emplace_back(value.text, value.ticked);
    }
    for (int status = 1; status <= kLedStatuses; ++status) {
        screen.led.push_back(LedInfo.Line(status));
    }
    return screen;
}

void TMainFrm::Settle() {
    settled_ = OnScreen();
}

void TMainFrm::WriteEnding() {
    QApplication::processEvents();
    raise();
    activateWindow();
}

void TMainFrm::Report(const WorkProgress& progress) {
    ShowStep(Q(ProgressText(progress)));
}

}  // namespace cardwright
