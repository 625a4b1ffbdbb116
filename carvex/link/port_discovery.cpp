#include "carvex/link/port_discovery.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>

#include "carvex/platform/device_list.h"
#include "carvex/platform/registry.h"

namespace carvex {

namespace {

constexpr size_t kFriendlyNameLimit = 1023;

struct NamePairs {
    std::string_view reference;
    std::array<std::pair<std::string_view, std::string_view>, 2> pairs;
};

constexpr std::array<NamePairs, 2> kAlternatives{{
    {kPcUiReference,
     {{{"TAVRIO Linkwave", "PC UI Interface"},
       {"Orvane Mobile Broadband Secondary Port Modem", "Tavrio"}}}},
    {kModemReference,
     {{{"TAVRIO Linkwave", "Modem"}, {"Orvane Mobile Broadband Modem", "Tavrio"}}}},
}};

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// The leading decimal digits of `text`, as atoi reads them; 0 when there are none or when they
// name a port beyond any int, which no device can have.
int LeadingNumber(std::string_view text) {
    int number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        if (number > (std::numeric_limits<int>::max() - (c - '0')) / 10) {
            return 0;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

// The number in "...(COM12)...": read between "(COM" and the first ")" after the first "COM".
int PortNumberFromName(std::string_view name) {
    const std::string_view s = name.substr(name.find("COM"));
    const size_t close_at = s.find(')');
    const size_t open_at = s.find("(COM");
    const long close = close_at == std::string_view::npos ? -1 : static_cast<long>(close_at);
    const long open = open_at == std::string_view::npos ? -1 : static_cast<long>(open_at);
    const long length = close - open - 4;
    if (length <= 0) {
        return 0;
    }
    return LeadingNumber(s.substr(static_cast<size_t>(open + 4), static_cast<size_t>(length)));
}

// The modem class key whose FriendlyName equals `friendly_name` and whose AttachedTo names a
// port. A subkey that cannot be opened ends the search.
std::optional<int> ModemPortFromRegistry(const DeviceRoot& root, const std::string& friendly_name) {
    const auto class_key = RegistryKey::OpenLocalMachine(root, kModemClassKey);
    if (!class_key) {
        return std::nullopt;
    }
    for (const std::string& subkey_name : class_key->SubkeyNames()) {
        const auto subkey =
            RegistryKey::OpenLocalMachine(root, std::string(kModemClassKey) + "\\" + subkey_name);
        if (!subkey) {
            return std::nullopt;
        }
        bool name_matches = false;
        int candidate = 0;
        for (const std::string& value_name : subkey->ValueNames()) {
            if (value_name == "FriendlyName") {
                name_matches = subkey->ReadString(value_name) == friendly_name;
            } else if (value_name == "AttachedTo") {
                // "COM7": the number starts at the fourth character; a shorter text names nothing.
                const auto attached = subkey->ReadString(value_name);
                candidate = attached && attached->size() >= 4
                                ? LeadingNumber(std::string_view(*attached).substr(3))
                                : 0;
            }
        }
        if (name_matches && candidate != 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

bool IsPcUiName(std::string_view name) {
    return Contains(name, kPcUiReference) || MatchFriendlyName(name, kPcUiReference);
}

bool IsModemName(std::string_view name) {
    return Contains(name, kModemReference) || Contains(name, kModemSecondForm) ||
           MatchFriendlyName(name, kModemReference);
}

// The first Modem class device that `accept` takes, looked up in the registry.
template <class Accept>
std::optional<int> FindModem(const DeviceRoot& root, Accept accept) {
    const DeviceList modems(root, DeviceClass::kModem);
    for (int index = 0; modems.Enumerate(index) == DeviceList::Entry::kPresent; ++index) {
        const auto name = modems.FriendlyName(index);
        if (name && IsModemName(*name) && accept(*name)) {
            return ModemPortFromRegistry(root, name->substr(0, kFriendlyNameLimit));
        }
    }
    return std::nullopt;
}

}  // namespace

bool MatchFriendlyName(std::string_view name, std::string_view reference) {
    for (const auto& alternative : kAlternatives) {
        if (alternative.reference != reference) {
            continue;
        }
        for (const auto& [first, second] : alternative.pairs) {
            if (Contains(name, first) && Contains(name, second)) {
                return true;
            }
        }
    }
    return false;
}

std::vector<DiagPortEntry> ListDiagPorts(const DeviceRoot& root) {
    std::vector<DiagPortEntry> entries;
    const DeviceList ports(root, DeviceClass::kPorts);
    for (int index = 0; ports.Enumerate(index) == DeviceList::Entry::kPresent; ++index) {
        const auto name = ports.FriendlyName(index);
        if (name && IsPcUiName(*name) && Contains(*name, "COM")) {
            entries.push_back({PortNumberFromName(*name), *name, CardMark(*name)});
        }
    }
    return entries;
}

std::optional<int> FindDiagPort(const DeviceRoot& root) {
    const DeviceList ports(root, DeviceClass::kPorts);
    for (int index = 0; ports.Enumerate(index) == DeviceList::Entry::kPresent; ++index) {
        const auto name = ports.FriendlyName(index);
        if (name && IsPcUiName(*name) && Contains(*name, "COM")) {
            return PortNumberFromName(*name);
        }
    }
    return std::nullopt;
}

std::optional<int> FindModemPort(const DeviceRoot& root) {
    return FindModem(root, [](const std::string&) { return true; });
}

std::string CardMark(std::string_view name) {
    if (const size_t com = name.rfind(" (COM"); com != std::string_view::npos) {
        name = name.substr(0, com);
    }
    const size_t hash = name.rfind(" #");
    if (hash == std::string_view::npos || hash + 2 == name.size()) {
        return {};
    }
    for (char c : name.substr(hash + 2)) {
        if (c < '0' || c > '9') {
            return {};
        }
    }
    return std::string(name.substr(hash));
}

std::string ModemMarkFor(const std::vector<DiagPortEntry>& entries, size_t index) {
    const bool marked = std::any_of(entries.begin(), entries.end(), [](const DiagPortEntry& entry) {
        return !entry.card_mark.empty();
    });
    if (marked || index == 0) {
        return entries.at(index).card_mark;
    }
    return " #" + std::to_string(index + 1);
}

std::optional<int> FindModemPortFor(const DeviceRoot& root, std::string_view card_mark) {
    return FindModem(root, [&](const std::string& name) { return CardMark(name) == card_mark; });
}

}  // namespace carvex
