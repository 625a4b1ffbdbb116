#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cardwork/model/config_item.h"
#include "cardwork/model/item_value.h"

namespace cardwright {

// The text an item's value box shows; nullopt when the item has no value box.
using ShownText = std::function<std::optional<std::string>(const TConfigItem&)>;

// One NV item composed for writing, or the reason it could not be.
struct ComposedNvItem {
    NvData data{};
    std::string error;  // a log line naming the item and the text that is not a number
    bool Ok() const { return error.empty(); }
};

// Composes the NV item that `record` is written to, from 128 zero bytes and every item of
// `items` that shares it:
// - one-bit record: every sharing item (with NEW_VERSION while `new_version` is set) whose value
//   is 1 sets its bit of byte 0;
// - byte-offset record: every item of the same NV_ID, and every multi-value item naming the NV
//   item (for each of its fields that does), at the byte it reads its value from and with its
//   own TYPE, later items over earlier ones: writing one item keeps every sharing item's value;
// - whole record: the record's own value at offset 0 with its TYPE.
// Values are taken from the upper-cased shown texts; one-bit records put their bits in with the
// record's TYPE. A device-state record composes nothing.
ComposedNvItem ComposeNvItem(std::span<const TConfigItem> items, const ShownText& shown,
                             const TConfigItem& record, bool new_version);

// The value an item shows from its NV item's data: its bit of byte 0, its bytes at NV_BYTE, or
// its bytes at offset 0. nullopt when its NV_BYTE cannot place it.
std::optional<int32_t> ItemValueFromNv(const TConfigItem& item, std::span<const uint8_t> data);
// The value an item shows for a bare value (its default, when the card does not hold it).
int32_t ItemValueFromBare(const TConfigItem& item, int32_t bare);

// The card's port setting as the device-state items carry it.
struct DeviceState {
    int32_t state = 0;  // DEVICE_STATE_INFO
    int32_t mask = 0;   // one bit per other device-state item, at its NV_BIT
    friend bool operator==(const DeviceState&, const DeviceState&) = default;
};

bool IsDeviceStateInfo(const TConfigItem& item);
// The port setting that the shown texts of the device-state items of `items` make.
DeviceState ComposeDeviceState(std::span<const TConfigItem> items, const ShownText& shown);
// The value a device-state item shows for a port setting.
int32_t DeviceStateItemValue(const TConfigItem& item, const DeviceState& setting);

// The stored value form of the port setting: mask x 256 + state, in decimal.
std::string StoredDeviceState(const DeviceState& setting);
// nullopt when the text is not a decimal integer.
std::optional<DeviceState> ParseStoredDeviceState(std::string_view stored);

}  // namespace cardwright
