#pragma once

#include <optional>
#include <string>
#include <string_view>

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

}  // namespace carvex
