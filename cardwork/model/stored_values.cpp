#include "cardwork/model/stored_values.h"

#include <algorithm>
#include <unordered_map>

#include "cardwork/model/item_value.h"
#include "cardwork/model/nv_compose.h"
#include "carvex/platform/utf8_text.h"

namespace cardwright {

namespace {

constexpr size_t kQuotedTextLimit = 40;

std::string LedKey(int status) {
    return "LED_STATUS" + std::to_string(status);
}

// A text from a file as a log line may show it: control characters as '?', and cut (never
// inside a UTF-8 character) when it is long.
std::string Quoted(std::string_view text) {
    std::string shown;
    size_t end = text.size();
    if (end > kQuotedTextLimit) {
        end = kQuotedTextLimit;
        while (end > 0 && carvex::IsUtf8Continuation(text[end])) {
            --end;
        }
    }
    for (const char c : text.substr(0, end)) {
        const auto byte = static_cast<unsigned char>(c);
        shown.push_back(byte < 0x20 || byte == 0x7F ? '?' : c);
    }
    return "\"" + shown +
           (end < text.size() ? "\"... (" + std::to_string(text.size()) + " bytes)" : "\"");
}

// The log line of a value that is no decimal integer, ended by `then`.
std::string NotANumber(std::string_view key, std::string_view value,
                       std::string_view then = "...") {
    return "Value of " + std::string(key) + " " + Quoted(value) + " is not a decimal integer" +
           std::string(then);
}

bool IsStoredMultiValue(std::string_view value) {
    const auto fields = SplitList(value, '|');
    return !fields.empty() && std::all_of(fields.begin(), fields.end(), [](const std::string& f) {
        return ParseDecimal(f).has_value();
    });
}

}  // namespace

LoadedValues DecodeItemValues(std::span<const TConfigItem> items, const HasValueBox& has_value_box,
                              const IniFile& file, std::string_view section, BadValue bad_value) {
    std::unordered_map<std::string_view, const TConfigItem*> by_name;
    std::vector<const TConfigItem*> ports;  // the device-state items besides DEVICE_STATE_INFO
    for (const TConfigItem& item : items) {
        by_name.try_emplace(item.Name, &item);
        if (item.NvId == kDeviceStateNvId && !IsDeviceStateInfo(item) && has_value_box(item)) {
            ports.push_back(&item);
        }
    }

    LoadedValues loaded;
    // A bad value fails the section, or leaves its own item empty.
    const auto bad = [&](const TConfigItem& item, const std::string& key,
                         const std::string& value) {
        if (bad_value == BadValue::kFailSection) {
            loaded = {{}, NotANumber(key, value), {}};
            return true;
        }
        loaded.values.push_back({item.Name, ""});
        loaded.skipped.push_back(NotANumber(key, value, ": left empty..."));
        return false;
    };
    for (const auto& [key, value] : file.ReadEntries(section)) {
        const auto found = by_name.find(key);
        if (found == by_name.end() || !has_value_box(*found->second)) {
            continue;
        }
        const TConfigItem& item = *found->second;
        if (IsDeviceStateInfo(item)) {
            const auto setting = ParseStoredDeviceState(value);
            if (!setting) {
                if (bad(item, key, value)) {
                    return loaded;
                }
                continue;
            }
            loaded.values.push_back(
                {item.Name, ValueTextToText(item, std::to_string(setting->state))});
            for (const TConfigItem* port : ports) {
                const bool set = port->NvBit >= 0 && port->NvBit < 8 &&
                                 ((setting->mask >> port->NvBit) & 1) != 0;
                loaded.values.push_back({port->Name, ValueTextToText(*port, set ? "1" : "0")});
            }
        } else if (IsMultiValue(item)) {
            if (!IsStoredMultiValue(value)) {
                if (bad(item, key, value)) {
                    return loaded;
                }
                continue;
            }
            loaded.values.push_back({item.Name, ValueTextToText(item, StoredToFieldList(value))});
        } else {
            if (!ParseDecimal(value)) {
                if (bad(item, key, value)) {
                    return loaded;
                }
                continue;
            }
            loaded.values.push_back({item.Name, ValueTextToText(item, value)});
        }
    }
    return loaded;
}

std::optional<LedTable> LedTableFromSection(const IniFile& file, std::string_view section) {
    if (!file.SectionExists(section)) {
        return std::nullopt;
    }
    LedTable table;
    bool any_line = false;
    for (int status = 1; status <= kLedStatuses; ++status) {
        const auto line = file.ReadString(section, LedKey(status));
        any_line = any_line || line.has_value();
        table.SetLine(status, line.value_or(""));
    }
    // A section without a single LED line says nothing about the LED: its cleared rows are not
    // patterns to write over the card's.
    table.SetFrom(any_line ? LedTable::Source::kLoaded : LedTable::Source::kNone);
    return table;
}

std::vector<IniEntry> LedEntries(const LedTable& table) {
    std::vector<IniEntry> entries;
    for (int status = 1; status <= kLedStatuses; ++status) {
        entries.emplace_back(LedKey(status), table.Line(status));
    }
    return entries;
}

}  // namespace cardwright
