#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "carvex/platform/device_root.h"

namespace carvex {

// The friendly names the card's driver gives its interfaces.
inline constexpr std::string_view kPcUiReference = "TAVRIO Linkwave - 3G PC UI Interface";
inline constexpr std::string_view kModemReference = "TAVRIO Linkwave - 3G Modem";
inline constexpr std::string_view kModemSecondForm = "TAVRIO Linkwave - Modem";

// True when `name` holds both texts of the reference's first or of its second alternative pair.
bool MatchFriendlyName(std::string_view name, std::string_view reference);

// The COM number of the card's PC UI interface among the Ports class devices.
std::optional<int> FindDiagPort(const DeviceRoot& root);

// The COM number of the card's modem: the first matching Modem class device, looked up by its
// friendly name among the modem class keys of the registry.
std::optional<int> FindModemPort(const DeviceRoot& root);

// A card's PC UI interface as the Ports list holds it.
struct DiagPortEntry {
    int com = 0;
    std::string friendly_name;
    // What tells the driver's names for one card from another's: " #2", " #3" ... for a second
    // and further card, empty for the first. The card's modem carries the same mark.
    std::string card_mark;
    friend bool operator==(const DiagPortEntry&, const DiagPortEntry&) = default;
};

// Every PC UI interface of the Ports list, in enumeration order (FindDiagPort takes the first).
std::vector<DiagPortEntry> ListDiagPorts(const DeviceRoot& root);

// The " #N" the driver puts after a second or further card's name, before " (COMn)".
std::string CardMark(std::string_view friendly_name);

// The mark of the modem that belongs with entry `index` of ListDiagPorts: the entry's own mark,
// or, when the driver marks none of the PC UI interfaces (only its modems: the COM number already
// tells the ports apart), the mark of the card at that place in the list (" #2" for the second).
std::string ModemMarkFor(const std::vector<DiagPortEntry>& entries, size_t index);

// The COM number of the modem whose name carries `card_mark`: the modem of the card whose PC UI
// interface carries the same mark.
std::optional<int> FindModemPortFor(const DeviceRoot& root, std::string_view card_mark);

}  // namespace carvex
