#include "cardwork/card/card_reader.h"

#include <array>

#include "cardwork/model/imei.h"
#include "carvex/carvex.h"

namespace cardwright {

std::string CardText(std::string_view raw) {
    return std::string(raw.substr(0, raw.find_first_of(std::string_view("\0\r\n", 3))));
}

std::string CardTrouble(CardAccess& card, std::string_view otherwise) {
    std::string trouble = card.Trouble();
    return trouble.empty() ? std::string(otherwise) : trouble;
}

WorkResult CardDifferent(CardAccess& card) {
    return WorkResult::Refused(WorkStep::kCheckingCardType,
                               CardTrouble(card, "the card is not the one read; read it again"));
}

WorkResult CardReader::ReadFromCard(CardWorkState& state, const IniFile& description) {
    lost_ = false;
    readings_.clear();
    Report(WorkStep::kOpeningCard);
    CardSession card(seams_.card);
    if (!card.Opened()) {
        state.new_version = true;
        ApplyCardFilter(state, description, "", seams_.view);
        Log("Init port failed");
        return WorkResult::Failed(WorkStep::kOpeningCard,
                                  CardTrouble(seams_.card, "the card could not be opened"));
    }
    ClearAllValues(state, seams_.view);
    Log("Init port succeed...");
    int32_t status = 0;
    state.new_version = seams_.card.NewVersionMark(status);
    if (state.new_version) {
        Log("Read version succeed...");
    }
    const auto type = seams_.card.BoardType();
    ApplyCardFilter(state, description, type ? CardText(*type) : std::string(), seams_.view);
    if (!type) {
        Lost();
    }
    if (!lost_ && state.config_led) {
        Report(WorkStep::kReadingLed);
        ReadLedInfo(state);
    }
    if (!lost_) {
        ReadCardInfo(state);
    }
    const bool whole = !lost_ && ReadCommonItems(state, &readings_);
    for (ItemReading& reading : readings_) {
        const std::string& text = state.values[*state.values.Find(reading.name)].text;
        if (!text.empty()) {
            reading.shown = text;
        }
    }
    card.Close();
    Log("Port closed");
    if (lost_) {
        return WorkResult::Failed(step_, CardTrouble(seams_.card, "the card is gone"));
    }
    if (!whole) {
        return WorkResult::Failed(WorkStep::kReadingItem,
                                  "an item's description cannot be used (see the log)");
    }
    return WorkResult::Done();
}

WorkResult CardReader::ReadFromCardAndReport(CardWorkState& state, const IniFile& description) {
    WorkResult result = ReadFromCard(state, description);
    Log(result.Ok() ? "Read from datacard succeed..." : "Failed to read data from datacard...");
    return result;
}

bool CardReader::Lost(std::optional<int32_t> status) {
    const bool unanswered =
        !status || *status == CARVEX_STATUS_NOT_SENT || *status == CARVEX_STATUS_NO_REPLY;
    if (!lost_ && unanswered && seams_.card.Gone()) {
        lost_ = true;
        Log(kCardGoneMessage);
    }
    return lost_;
}

void CardReader::ShowInfo(CardWorkState& state, CommonInfoRow row, std::string text) {
    state.info[row] = std::move(text);
    seams_.view.CommonInfoShown(row);
}

void CardReader::ReadCardInfo(CardWorkState& state) {
    Report(WorkStep::kReadingCardInfo);
    int32_t status = 0;
    std::array<uint8_t, CARVEX_IMEI_LENGTH> imei{};
    if (seams_.card.ReadImei(imei, status)) {
        ShowInfo(state, CommonInfoRow::kImei, DecodeImei(imei));
    } else {
        ShowInfo(state, CommonInfoRow::kImei, std::string(kNoCommonInfo));
        Log("Get IMEI failed, reason: " + std::to_string(status) + "...");
        if (Lost(status)) {
            return;
        }
    }
    // A version row whose query fails keeps what it showed.
    const struct {
        std::optional<std::string> (CardAccess::*query)(int32_t&);
        CommonInfoRow row;
    } versions[] = {{&CardAccess::FirmwareVersion, CommonInfoRow::kFirmware},
                    {&CardAccess::PcbVersion, CommonInfoRow::kHardware},
                    {&CardAccess::DashboardVersion, CommonInfoRow::kDashboard}};
    for (const auto& version : versions) {
        if (const auto text = (seams_.card.*version.query)(status)) {
            ShowInfo(state, version.row, CardText(*text));
        } else if (Lost(status)) {
            return;
        }
    }
    if (const auto type = seams_.card.BoardType()) {
        state.card_type = CardText(*type);
        ShowInfo(state, CommonInfoRow::kCardType, state.card_type);
    } else {
        Lost();
    }
}

bool CardReader::ReadLedInfo(CardWorkState& state) {
    Log("Read LED info from datacard...");
    int32_t status = 0;
    NvData data{};
    if (!seams_.card.ReadNv(kLedFirstNvItem, data, status)) {
        Lost(status);
        return false;
    }
    state.led.Unpack(0, data);
    // Statuses 1 to 4 are new now; without 5 to 8 the table is no whole to write back.
    state.led.SetFrom(LedTable::Source::kNone);
    data = {};
    if (!seams_.card.ReadNv(kLedSecondNvItem, data, status)) {
        Lost(status);
        return false;
    }
    state.led.Unpack(1, data);
    state.led.SetFrom(LedTable::Source::kCard);
    return true;
}

bool CardReader::ReadCommonItems(CardWorkState& state, std::vector<ItemReading>* readings) {
    Log("Read common config item info from datacard...");
    const size_t count = state.items.size();
    for (size_t index = 0; index < count; ++index) {
        TConfigItem& item = state.items[index];
        if (state.new_version && item.NewVersion == 0) {
            continue;
        }
        const std::string caption = DisplayText(item);
        Report({WorkStep::kReadingItem, index + 1, count, caption});
        if (item.Name == kDeviceStateItem) {
            if (!ReadDeviceState(state, readings) && lost_) {
                return false;
            }
            continue;
        }
        if (item.NvId == kDeviceStateNvId || !state.values[index].has_box) {
            continue;  // an item without a value box has nothing to show
        }
        int32_t status = 0;
        bool read = false;
        NvData data{};
        if (IsMultiValue(item)) {
            const ItemOutcome outcome = ReadMultiValueItem(state, item, status);
            if (outcome == ItemOutcome::kBroken) {
                return false;
            }
            read = outcome == ItemOutcome::kDone;
        } else {
            const auto number = NvItemNumber(item.NvId);
            if (!number) {
                Log(BadNumberMessage(item, "NV_ID", item.NvId));
                return false;
            }
            read = seams_.card.ReadNv(*number, data, status);
        }
        if (readings != nullptr) {
            readings->push_back({item.Name, item.NvId, read, read ? 0 : status, std::nullopt});
        }
        if (!read) {
            Log(item.Caption + " Read failed, reason\uFF1A" + std::to_string(status));
            state.values.Untick(index);
            if (status == CARVEX_STATUS_INACTIVE) {
                item.OnCard = false;
                ShowNvDefault(state, item);
            }
            if (Lost(status)) {
                return false;
            }
            continue;
        }
        Log(item.Caption + " read succeed.");
        if (!IsMultiValue(item) && !ShowNvValue(state, item, data)) {
            return false;
        }
    }
    return true;
}

ItemOutcome CardReader::ReadMultiValueItem(CardWorkState& state, const TConfigItem& item,
                                           int32_t& status) {
    const auto index = state.values.Find(item.Name);
    if (!index || !state.values[*index].has_box) {
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
                Log(kSingleItemError);
            }
            Log(BadNumberMessage(item, "NV_ID", nv_id == kNoByteOffset ? item.NvId : nv_id));
            return ItemOutcome::kBroken;
        }
        NvData data{};
        if (!seams_.card.ReadNv(*number, data, status)) {
            outcome = ItemOutcome::kFailed;
            break;
        }
        const SingleItem single = MakeSingleItem(item, k);
        if (!single.complete) {
            Log(kSingleItemError);
        }
        if (single.item.NvByte == kNoByteOffset) {
            continue;
        }
        const auto offset = ValueOffset(single.item.NvByte, item.ItemType);
        if (!offset) {
            Log(BadNumberMessage(item, "NV_BYTE", single.item.NvByte));
            return ItemOutcome::kBroken;
        }
        values.push_back(ValueAt(data, *offset, item.ItemType));
    }
    state.values.Show(*index, ValueTextToText(item, FieldListText(values)));
    return outcome;
}

bool CardReader::ReadDeviceState(CardWorkState& state, std::vector<ItemReading>* readings) {
    DeviceState setting;
    int32_t status = 0;
    const bool read = seams_.card.ReadPortSetting(setting, status);
    if (!read) {
        Lost(status);
    }
    for (size_t i = 0; i < state.items.size(); ++i) {
        const TConfigItem& item = state.items[i];
        if (item.NvId != kDeviceStateNvId || !state.values[i].has_box) {
            continue;
        }
        if (readings != nullptr) {
            readings->push_back({item.Name, item.NvId, read, read ? 0 : status, std::nullopt});
        }
        if (read) {
            state.values.Show(i, ValueToText(item, DeviceStateItemValue(item, setting)));
        }
    }
    return read;
}

bool CardReader::ShowNvValue(CardWorkState& state, const TConfigItem& item,
                             std::span<const uint8_t> data) {
    const auto index = state.values.Find(item.Name);
    if (!index || !state.values[*index].has_box) {
        return true;
    }
    const auto value = ItemValueFromNv(item, data);
    if (!value) {
        Log(BadNumberMessage(item, "NV_BYTE", item.NvByte));
        return false;
    }
    state.values.Show(*index, ValueToText(item, *value));
    return true;
}

void CardReader::ShowNvDefault(CardWorkState& state, const TConfigItem& item) {
    const auto index = state.values.Find(item.Name);
    if (index && state.values[*index].has_box) {
        const int32_t bare = TextToValue(item, item.DefaultValue);
        state.values.Show(*index, ValueToText(item, ItemValueFromBare(item, bare)));
    }
}

std::string CardReader::ReadCardType() {
    Report(WorkStep::kCheckingCardType);
    CardSession card(seams_.card);
    if (!card.Opened()) {
        Log("Init port failed");
        return {};
    }
    std::string type;
    if (const auto answer = seams_.card.BoardType()) {
        type = CardText(*answer);
        Log("Init Card Type succeed...");
    }
    return type;
}

bool CardReader::SameCardAs(std::string_view recorded) {
    if (ReadCardType() == recorded) {
        return true;
    }
    Log("datacard is different...");
    seams_.view.ShowMessage(kCardDifferentMessage);
    return false;
}

}  // namespace cardwright
