#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>

#include "app/command_outcome.h"
#include "app/main_unit.h"
#include "cardwork/model/item_value.h"
#include "cardwork/model/stored_values.h"
#include "app/new_sul_unit.h"
#include "app/qt_text.h"
#include "app/window_log.h"

namespace cardwright {

namespace {

constexpr std::string_view kMainSection = "MAIN";
constexpr std::string_view kCurrentKey = "current";
constexpr std::string_view kConfigLedKey = "ConfigLed";
constexpr std::string_view kCardSolution = "DEFAULT";

}  // namespace

void TMainFrm::LoadSolutionList() {
    std::vector<std::string> names = Values().ReadSections();
    const auto main = std::find_if(names.begin(), names.end(), [](const std::string& name) {
        return EqualIgnoringCase(name, kMainSection);
    });
    if (main != names.end()) {
        names.erase(main);
    }
    ComboBox1->clear();
    for (const std::string& name : names) {
        ComboBox1->addItem(Q(name));
    }
    ComboBox1->setCurrentIndex(-1);
    if (!Values().SectionExists(kMainSection)) {
        return;
    }
    const std::string current = Values().ReadString(kMainSection, kCurrentKey, "");
    if (!Values().SectionExists(current)) {
        ComboBox1->setCurrentIndex(names.empty() ? -1 : 0);
        return;
    }
    ConfigLed = Values().ReadBool(current, kConfigLedKey, true);
    PageControl1->setTabVisible(PageControl1->indexOf(LedSheet), ConfigLed);
    const auto selected = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
        return EqualIgnoringCase(name, current);
    });
    ComboBox1->setCurrentIndex(static_cast<int>(selected - names.begin()));
}

void TMainFrm::LoadCurrentSolution() {
    const std::string name =
        ComboBox1->currentIndex() < 0 ? std::string() : ComboBox1->currentText().toStdString();
    if (EqualIgnoringCase(name, kCardSolution)) {
        ReadFromCardAndReport();
        return;
    }
    if (!Values().SectionExists(name)) {
        ShowOutcome("Nothing shown: config_value.ini names no solution that exists");
        return;
    }
    ClearAllValues();
    LoadItemValues(name);
    LoadLedInfo(name);
    ShowSource(SolutionShown(name));
    ShowOutcome(SolutionOutcome(name));
    Settle();
}

void TMainFrm::ComboBox1Change() {
    RunCommand([this] { LoadCurrentSolution(); });
}

void TMainFrm::NewBtnClick() {
    RunCommand([this] {
        const bool confirmed = Prompts().AskNewSolution(*NewSoluationFrm);
        const std::string name =
            confirmed ? NewSoluationFrm->Edit1->text().trimmed().toStdString() : std::string();
        if (name.empty()) {
            return;
        }
        if (Values().SectionExists(name)) {
            Prompts().ShowMessage(this, QStringLiteral("The soluation name had exists..."));
            return;
        }
        ClearAllValues();
        const bool led = NewSoluationFrm->CheckBox1->isChecked();
        if (!Values().WriteString(name, kConfigLedKey, led ? "1" : "0") ||
            !Values().WriteString(kMainSection, kCurrentKey, name)) {
            AddLog(QStringLiteral("The solution %1 could not be saved: %2")
                       .arg(Q(name), Q(Values().LastError())));
            return;
        }
        LoadSolutionList();
        LoadCurrentSolution();
    });
}

void TMainFrm::DelBtnClick() {
    RunCommand([this] {
        const std::string name = ComboBox1->currentText().toStdString();
        if (!Values().SectionExists(name) || EqualIgnoringCase(name, kCardSolution)) {
            return;
        }
        if (!Values().EraseSection(name)) {
            AddLog(QStringLiteral("The solution %1 could not be deleted: %2")
                       .arg(Q(name), Q(Values().LastError())));
            return;
        }
        ComboBox1->setCurrentIndex(ComboBox1->count() > 0 ? 0 : -1);
        LoadCurrentSolution();
        LoadSolutionList();
        LoadCurrentSolution();
    });
}

bool TMainFrm::LoadItemValues(const std::string& section) {
    return cardwright::LoadItemValues(state_, Values(), section, *log_, BadValue::kSkipKey);
}

}  // namespace cardwright
