#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/model/config_item.h"
#include "cardwork/model/ini_file.h"
#include "cardwork/model/led_table.h"

namespace cardwright {

// One text to show: the value box of the item named `item` is to show `text`.
struct ShownValue {
    std::string item;
    std::string text;
    friend bool operator==(const ShownValue&, const ShownValue&) = default;
};

struct LoadedValues {
    std::vector<ShownValue> values;    // in the order to show them; a later one wins
    std::string error;                 // a log line naming the key and its text; nothing loads
    std::vector<std::string> skipped;  // a log line for each key left out (BadValue::kSkipKey)
    bool Ok() const { return error.empty(); }
};

// What a value that is not a decimal integer does to the values of its section.
enum class BadValue {
    // Nothing loads: a setting file is sealed and taken whole or not at all.
    kFailSection,
    // Only its item shows nothing, and a log line names key and text: a solution, which is
    // written by hand, loads the rest.
    kSkipKey,
};

using HasValueBox = std::function<bool(const TConfigItem&)>;

// The texts that the stored values of a section (of a setting file or a solution) show. Each key
// that names an item (the first of that name, exactly) with a value box gives, in file order:
// - an ordinary item: ValueTextToText of its value, "1|0" looked up as "(#1#0)" for a
//   multi-value item;
// - DEVICE_STATE_INFO: its own text for the state (the low 8 bits), then, for every other
//   device-state item with a value box, the text for its bit (8 + NV_BIT).
// Other keys (LED lines, ConfigLed, names of no item) are skipped. The values come from files
// that others hand us, so every one is checked before anything is given: a value that is not a
// decimal integer (each field of a multi-value item) fails the whole section, or with kSkipKey
// shows nothing in its item's box.
LoadedValues DecodeItemValues(std::span<const TConfigItem> items, const HasValueBox& has_value_box,
                              const IniFile& file, std::string_view section,
                              BadValue bad_value = BadValue::kFailSection);

// The LED table that a section's LED_STATUS1 ... LED_STATUS8 lines hold, a missing or empty line
// clearing its status; nullopt when the section does not exist (the table is then left alone).
// Without any LED line the table holds nothing to write to a card.
std::optional<LedTable> LedTableFromSection(const IniFile& file, std::string_view section);
// The LED lines of a table, LED_STATUS1 ... LED_STATUS8.
std::vector<IniEntry> LedEntries(const LedTable& table);

}  // namespace cardwright
