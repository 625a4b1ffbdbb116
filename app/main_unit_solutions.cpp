#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>

#include "app/main_unit.h"
#include "app/model/item_value.h"
#include "app/new_sul_unit.h"

namespace cardwright {

namespace {

constexpr std::string_view kMainSection = "MAIN";
constexpr std::string_view kCurrentKey = "current";
constexpr std::string_view kConfigLedKey = "ConfigLed";
constexpr std::string_view kCardSolution = "DEFAULT";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The value a multi-value item stores as "1|0" is the field list "(#1#0)"; every part must be a
// decimal number, as a single item's value must.
bool StoredValueIsNumber(const TConfigItem& item, std::string_view value) {
    if (!IsMultiValue(item)) {
        return ParseDecimal(value).has_value();
    }
    for (const std::string& part : SplitList(value, '|')) {
        if (!ParseDecimal(part)) {
            return false;
        }
    }
    return !value.empty();
}

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
        return;
    }
    ClearAllValues();
    if (LoadItemValues(name)) {
        LoadLedInfo(name);
    }
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
    struct Stored {
        const TConfigItem* item;
        QComboBox* box;
        std::string value;
    };
    std::vector<Stored> stored;
    for (const std::string& key : Values().ReadSection(section)) {
        const TConfigItem* item = FindItem(key);
        QComboBox* box = item != nullptr ? ValueBox(item->Name) : nullptr;
        if (box == nullptr) {
            continue;  // LED lines, flags, items without a page
        }
        std::string value = Values().ReadString(section, key, "");
        if (!StoredValueIsNumber(*item, value)) {
            AddLog(QStringLiteral("%1=%2 in [%3] is not a number: nothing of [%3] was loaded...")
                       .arg(Q(key), Q(value), Q(section)));
            return false;
        }
        stored.push_back({item, box, std::move(value)});
    }
    for (const Stored& entry : stored) {
        const TConfigItem& item = *entry.item;
        entry.box->setCurrentIndex(-1);
        if (!IsDeviceStateInfo(item)) {
            const std::string value_text =
                IsMultiValue(item) ? StoredToFieldList(entry.value) : entry.value;
            ShowItemText(entry.box, Q(ValueTextToText(item, value_text)));
            continue;
        }
        const DeviceState setting = *ParseStoredDeviceState(entry.value);
        ShowItemText(entry.box, Q(ValueTextToText(item, std::to_string(setting.state))));
        for (const TConfigItem& other : ConfigItems) {
            QComboBox* other_box = ValueBox(other.Name);
            if (other.NvId != kDeviceStateNvId || IsDeviceStateInfo(other) ||
                other_box == nullptr) {
                continue;
            }
            // Bit 8 + NV_BIT of the stored number: its NV_BIT of the port bit mask.
            const bool set =
                other.NvBit >= 0 && other.NvBit < 8 && ((setting.mask >> other.NvBit) & 1);
            other_box->setCurrentIndex(-1);
            ShowItemText(other_box, Q(ValueTextToText(other, set ? "1" : "0")));
        }
    }
    return true;
}

void TMainFrm::LoadDatacardType(const std::string& section) {
    ApplyCardFilter(Values().ReadString(section, "VALUE", ""));
}

}  // namespace cardwright
