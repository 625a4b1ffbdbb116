#include "cardwork/model/nv_compose.h"

#include <vector>

namespace cardwright {

namespace {

constexpr int kBitsInFirstByte = 8;

bool SharesNvItem(const TConfigItem& item, const TConfigItem& record) {
    return (item.NvId == record.NvId && item.NvId != kDeviceStateNvId) ||
           NamesNvItem(item.NvId, record.NvId);
}

// The fields of a multi-value item's NV_ID list that name `nv_id` (one item may keep several of
// its values in one NV item).
std::vector<int> FieldsFor(const TConfigItem& item, std::string_view nv_id) {
    std::vector<int> fields;
    for (int k = 0; k < item.ValueCount; ++k) {
        if (ListField(item.NvId, k) == nv_id) {
            fields.push_back(k);
        }
    }
    return fields;
}

bool IsBitOfFirstByte(int bit) {
    return bit >= 0 && bit < kBitsInFirstByte;
}

void ComposeBits(std::span<const TConfigItem> items, const ShownText& shown,
                 const TConfigItem& record, bool new_version, ComposedNvItem& composed) {
    int32_t bits = 0;
    for (const TConfigItem& item : items) {
        if ((new_version && item.NewVersion == 0) || !SharesNvItem(item, record)) {
            continue;
        }
        const auto text = shown(item);
        if (text && TextToValue(item, UpperCase(*text), &record) == 1 &&
            IsBitOfFirstByte(item.NvBit)) {
            bits |= 1 << item.NvBit;
        }
    }
    PutValue(composed.data, 0, bits, record.ItemType);
}

// Each sharing item puts its value where it reads it from: at its own NV_BYTE (a multi-value
// item: at the byte of each of its fields that names the NV item), with its own TYPE. Writing
// one item of an NV item then keeps every other item's value as it is shown, whatever their
// widths and places.
void ComposeBytes(std::span<const TConfigItem> items, const ShownText& shown,
                  const TConfigItem& record, ComposedNvItem& composed) {
    const auto record_offset = ValueOffset(record.NvByte, record.ItemType);
    if (!record_offset) {
        composed.error = BadNumberMessage(record, "NV_BYTE", record.NvByte);
        return;
    }
    const auto put = [&](const TConfigItem& item, std::string_view nv_byte, int32_t value) {
        const auto offset = ValueOffset(nv_byte, item.ItemType);
        if (!offset) {
            composed.error = BadNumberMessage(item, "NV_BYTE", nv_byte);
            return false;
        }
        PutValue(composed.data, *offset, value, item.ItemType);
        return true;
    };
    for (const TConfigItem& item : items) {
        // Only the items that share the NV item are asked for their text: a write of every item
        // then costs in proportion to the items, not to their square.
        const bool same_item = item.NvId == record.NvId;
        if (!same_item && !NamesNvItem(item.NvId, record.NvId)) {
            continue;
        }
        const auto text = shown(item);
        if (!text) {
            continue;
        }
        if (same_item) {
            if (!put(item, item.NvByte, TextToValue(item, UpperCase(*text)))) {
                return;
            }
            continue;
        }
        const auto fields = FieldsFor(item, record.NvId);
        if (fields.empty()) {
            // Named past the item's VALUECOUNT: at the record's byte, as the record reads it.
            PutValue(composed.data, *record_offset, TextToValue(item, UpperCase(*text), &record),
                     record.ItemType);
        }
        for (const int k : fields) {
            const SingleItem single = MakeSingleItem(item, k);
            if (!put(item, single.item.NvByte, TextToValue(item, UpperCase(*text), &single.item))) {
                return;
            }
        }
    }
}

}  // namespace

ComposedNvItem ComposeNvItem(std::span<const TConfigItem> items, const ShownText& shown,
                             const TConfigItem& record, bool new_version) {
    ComposedNvItem composed;
    switch (KindOf(record)) {
        case ItemKind::kDeviceState:
            break;
        case ItemKind::kOneBit:
            ComposeBits(items, shown, record, new_version, composed);
            break;
        case ItemKind::kByteOffset:
            ComposeBytes(items, shown, record, composed);
            break;
        case ItemKind::kWhole:
            if (const auto text = shown(record)) {
                PutValue(composed.data, 0, TextToValue(record, UpperCase(*text)), record.ItemType);
            }
            break;
    }
    return composed;
}

std::optional<int32_t> ItemValueFromNv(const TConfigItem& item, std::span<const uint8_t> data) {
    switch (KindOf(item)) {
        case ItemKind::kOneBit:
            if (data.empty() || !IsBitOfFirstByte(item.NvBit)) {
                return 0;
            }
            return (data[0] >> item.NvBit) & 1;
        case ItemKind::kByteOffset:
            if (const auto offset = ValueOffset(item.NvByte, item.ItemType)) {
                return ValueAt(data, *offset, item.ItemType);
            }
            return std::nullopt;
        case ItemKind::kDeviceState:
        case ItemKind::kWhole:
            break;
    }
    return ValueAt(data, 0, item.ItemType);
}

int32_t ItemValueFromBare(const TConfigItem& item, int32_t bare) {
    if (KindOf(item) == ItemKind::kOneBit) {
        return bare;
    }
    NvData data{};
    PutValue(data, 0, bare, "DWORD");
    return ValueAt(data, 0, item.ItemType);
}

bool IsDeviceStateInfo(const TConfigItem& item) {
    return item.Name == kDeviceStateItem;
}

DeviceState ComposeDeviceState(std::span<const TConfigItem> items, const ShownText& shown) {
    DeviceState setting;
    for (const TConfigItem& item : items) {
        if (item.NvId != kDeviceStateNvId) {
            continue;
        }
        const auto text = shown(item);
        if (!text) {
            continue;
        }
        const int32_t value = TextToValue(item, UpperCase(*text));
        if (IsDeviceStateInfo(item)) {
            setting.state = value;
        } else if (IsBitOfFirstByte(item.NvBit)) {
            setting.mask += static_cast<int32_t>(static_cast<uint32_t>(value) << item.NvBit);
        }
    }
    return setting;
}

int32_t DeviceStateItemValue(const TConfigItem& item, const DeviceState& setting) {
    if (IsDeviceStateInfo(item)) {
        return ItemValueFromBare(item, setting.state);
    }
    const int32_t bit = IsBitOfFirstByte(item.NvBit) ? (setting.mask >> item.NvBit) & 1 : 0;
    return ItemValueFromBare(item, bit);
}

std::string StoredDeviceState(const DeviceState& setting) {
    return std::to_string(int64_t{setting.mask} * 256 + setting.state);
}

std::optional<DeviceState> ParseStoredDeviceState(std::string_view stored) {
    const auto number = ParseDecimal(stored);
    if (!number) {
        return std::nullopt;
    }
    const auto bits = static_cast<uint32_t>(*number);
    return DeviceState{static_cast<int32_t>(bits & 0xFF), static_cast<int32_t>(bits >> 8)};
}

}  // namespace cardwright
