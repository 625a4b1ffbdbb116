#pragma once

#include <span>
#include <string>
#include <vector>

#include "cardwork/model/config_item.h"
#include "cardwork/model/ini_file.h"
#include "cardwork/model/stored_values.h"

namespace cardwright {

// The items a setting file names no value for, which a Write after its import sends all the
// same, at their described defaults: an import puts every item back at its default before it
// loads the file. Those are the items that apply to the file's firmware generation (NEW_VERSION
// not 0 in a new-version file), have a value box, are VISIBLE, move bytes by their TYPE, and
// whose default does not leave the card's value alone ("DEFAULT"). The device-state items are
// never among them: without DEVICE_STATE_INFO the port setting is not written at all. Whoever
// checks or writes a file says which items these are, so that nobody learns it from the card.
struct DefaultedItems {
    std::vector<std::string> captions;  // DISPLAY texts, in description order

    // "12 items are left to their defaults: Flag byte, High word, ...", "No item is left to its
    // default".
    std::string Sentence() const;
};

DefaultedItems ItemsLeftToDefaults(std::span<const TConfigItem> items,
                                   const HasValueBox& has_value_box, const IniFile& settings,
                                   bool new_version);

}  // namespace cardwright
