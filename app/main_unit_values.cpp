#include <QCheckBox>
#include <QComboBox>
#include <QTreeWidget>

#include "app/carvex_api.h"
#include "app/main_unit.h"
#include "app/model/item_check.h"
#include "app/qt_text.h"

namespace cardwright {

namespace {

std::string Text(const QComboBox* box) {
    return box->currentText().toStdString();
}

}  // namespace

ShownText TMainFrm::ShownTexts() const {
    return [this](const TConfigItem& item) -> std::optional<std::string> {
        if (const QComboBox* box = ValueBox(item.Name)) {
            return Text(box);
        }
        return std::nullopt;
    };
}

void TMainFrm::ShowItemText(QComboBox* value_box, const QString& text) {
    if (value_box->isEditable()) {
        value_box->setEditText(text);
    } else {
        value_box->setCurrentIndex(-1);
        const std::string wanted = text.toStdString();
        for (int i = 0; i < value_box->count(); ++i) {
            if (EqualIgnoringCase(value_box->itemText(i).toStdString(), wanted)) {
                value_box->setCurrentIndex(i);
                break;
            }
        }
    }
    const std::string name = value_box->objectName().toStdString();
    QCheckBox* label = LabelBox(name);
    if (label == nullptr) {
        return;
    }
    const TConfigItem* item = FindItem(name);
    const std::string default_value =
        item != nullptr ? item->DefaultValue : Description().ReadString(name, "DEFAULT_VALUE", "");
    label->setChecked(MarksChanged(Text(value_box), default_value));
    value_box->setEnabled(label->isChecked());
}

bool TMainFrm::ShowNvValue(const TConfigItem& item, std::span<const uint8_t> data) {
    QComboBox* box = ValueBox(item.Name);
    if (box == nullptr) {
        return true;
    }
    const auto value = ItemValueFromNv(item, data);
    if (!value) {
        AddLog(Q(BadNumberMessage(item, "NV_BYTE", item.NvByte)));
        return false;
    }
    ShowItemText(box, Q(ValueToText(item, *value)));
    return true;
}

void TMainFrm::ShowNvDefault(const TConfigItem& item) {
    if (QComboBox* box = ValueBox(item.Name)) {
        const int32_t bare = TextToValue(item, item.DefaultValue);
        ShowItemText(box, Q(ValueToText(item, ItemValueFromBare(item, bare))));
    }
}

ItemOutcome TMainFrm::ReadMultiValueItem(const TConfigItem& item, int32_t& status) {
    QComboBox* box = ValueBox(item.Name);
    if (box == nullptr) {
        return ItemOutcome::kDone;
    }
    std::vector<int32_t> values;
    ItemOutcome outcome = ItemOutcome::kDone;
    for (int k = 0; k < item.ValueCount; ++k) {
        const std::string nv_id = ListField(item.NvId, k);
        const auto number = NvItemNumber(nv_id);
        if (!number) {
            // The field that is no number, or the whole text when it is no field list.
            if (nv_id == kNoByteOffset) {
                AddLog(Q(std::string(kSingleItemError)));
            }
            AddLog(Q(BadNumberMessage(item, "NV_ID", nv_id == kNoByteOffset ? item.NvId : nv_id)));
            return ItemOutcome::kBroken;
        }
        NvData data{};
        if (CallLibrary([&] {
                return ReadNvItem(*number, data.data(), int32_t{kNvDataSize}, &status);
            }) == 0) {
            outcome = ItemOutcome::kFailed;
            break;
        }
        const SingleItem single = MakeSingleItem(item, k);
        if (!single.complete) {
            AddLog(Q(std::string(kSingleItemError)));
        }
        if (single.item.NvByte == kNoByteOffset) {
            continue;
        }
        const auto offset = ValueOffset(single.item.NvByte, item.ItemType);
        if (!offset) {
            AddLog(Q(BadNumberMessage(item, "NV_BYTE", single.item.NvByte)));
            return ItemOutcome::kBroken;
        }
        values.push_back(ValueAt(data, *offset, item.ItemType));
    }
    ShowItemText(box, Q(ValueTextToText(item, FieldListText(values))));
    return outcome;
}

ItemOutcome TMainFrm::WriteItem(const TConfigItem& record) {
    QComboBox* box = ValueBox(record.Name);
    if (box == nullptr) {
        AddLog(QStringLiteral("%1 Write Failed: item %2 has no value box, its page %3 was not "
                              "built...")
                   .arg(Q(record.Caption), Q(record.Name), Q(record.AlongPage)));
        return ItemOutcome::kFailed;
    }
    if (IsDefaultText(Text(box)) || !record.Visible) {
        return ItemOutcome::kDone;
    }
    const auto finish = [&](bool ok) {
        AddLog(Q(record.Caption) +
               (ok ? QStringLiteral(" Write OK...") : QStringLiteral(" Write Failed...")));
        return ok ? ItemOutcome::kDone : ItemOutcome::kFailed;
    };
    if (KindOf(record) == ItemKind::kDeviceState) {
        return finish(PortSettingWritten || WriteDeviceState());
    }
    const auto number = NvItemNumber(record.NvId);
    const ComposedNvItem composed = ComposeNvItem(ConfigItems, ShownTexts(), record, NewVersion);
    if (!number || !composed.Ok()) {
        AddLog(Q(number ? composed.error : BadNumberMessage(record, "NV_ID", record.NvId)));
        finish(false);
        return ItemOutcome::kBroken;
    }
    const QCheckBox* label = LabelBox(record.Name);
    if (label != nullptr && !label->isChecked() && !record.OnCard) {
        return finish(true);
    }
    return finish(CallLibrary([&] {
                      return CarvexItem(*number, composed.data.data(), uint32_t{kNvDataSize});
                  }) != 0);
}

ItemOutcome TMainFrm::WriteMultiValueItem(const TConfigItem& item) {
    ItemOutcome outcome = ItemOutcome::kDone;
    for (int k = 0; k < item.ValueCount; ++k) {
        const SingleItem single = MakeSingleItem(item, k);
        if (!single.complete) {
            AddLog(Q(std::string(kSingleItemError)));
        }
        outcome = WriteItem(single.item);
        if (outcome == ItemOutcome::kFailed) {
            AddLog(QStringLiteral("Failed to write Singel config item..."));
            AddLog(QStringLiteral("NV item %1 of %2 was not written...")
                       .arg(Q(single.item.NvId), Q(DisplayText(item))));
        }
        if (outcome != ItemOutcome::kDone) {
            break;
        }
    }
    return outcome;
}

bool TMainFrm::ReadDeviceState() {
    int32_t state = 0;
    int32_t mask = 0;
    int32_t unused = 0;
    if (CallLibrary([&] { return GetPnPState(&state, &mask, &unused); }) == 0) {
        return false;
    }
    for (const TConfigItem& item : ConfigItems) {
        QComboBox* box = ValueBox(item.Name);
        if (item.NvId == kDeviceStateNvId && box != nullptr) {
            ShowItemText(box, Q(ValueToText(item, DeviceStateItemValue(item, {state, mask}))));
        }
    }
    return true;
}

bool TMainFrm::WriteDeviceState() {
    PortSettingWritten = true;
    const DeviceState setting = ComposeDeviceState(ConfigItems, ShownTexts());
    int32_t status = 0;
    const bool ok =
        CallLibrary([&] { return SetPnPState(setting.state, setting.mask, &status); }) != 0;
    AddLog(ok ? QStringLiteral("Write port setting succeed...")
              : QStringLiteral("Write port setting failed..."));
    return ok;
}

void TMainFrm::ResetUncheckedItems() {
    for (const TConfigItem& item : ConfigItems) {
        QCheckBox* label = LabelBox(item.Name);
        QComboBox* box = ValueBox(item.Name);
        if (label != nullptr && box != nullptr && !label->isChecked()) {
            ShowItemText(box, Q(item.DefaultValue));
        }
    }
}

bool TMainFrm::ValidateItems() {
    std::vector<ItemCheck> checks;
    checks.reserve(ConfigItems.size());
    for (const TConfigItem& item : ConfigItems) {
        ItemCheck check{&item, std::nullopt, std::nullopt};
        if (const QCheckBox* label = LabelBox(item.Name)) {
            check.checked = label->isChecked();
        }
        if (const QComboBox* box = ValueBox(item.Name)) {
            check.text = Text(box);
        }
        checks.push_back(std::move(check));
    }
    CheckResult result = CheckItemValues(checks);
    // A table that Write would send must hold times the card can keep.
    if (result.ok && ConfigLed && LedInfo.Writable()) {
        if (const auto bad = LedInfo.FindBadTime()) {
            result.ok = false;
            result.log.push_back(bad->Message());
        }
    }
    for (const std::string& line : result.log) {
        AddLog(Q(line));
    }
    if (result.ok) {
        AddLog(QStringLiteral("Data valid check OK..."));
    }
    return result.ok;
}

void TMainFrm::ClearAllValues() {
    for (const TConfigItem& item : ConfigItems) {
        if (QComboBox* box = ValueBox(item.Name)) {
            ShowItemText(box, QString());
        }
        if (QCheckBox* label = LabelBox(item.Name)) {
            label->setChecked(false);
        }
    }
    for (int row = 0; row < ListView1->topLevelItemCount(); ++row) {
        ListView1->topLevelItem(row)->setText(0, QStringLiteral("--"));
        ListView1->topLevelItem(row)->setText(1, QStringLiteral("--"));
    }
    LedInfo.Clear();
}

}  // namespace cardwright
