#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cardwork/card/common_info.h"
#include "cardwork/card/item_values.h"
#include "cardwork/model/config_item.h"
#include "cardwork/model/ini_file.h"
#include "cardwork/model/item_check.h"
#include "cardwork/model/led_table.h"
#include "cardwork/model/nv_compose.h"
#include "cardwork/model/setting_file.h"

namespace cardwright {

class CardWorkView;
class LogSink;

// What the card work reads and changes between commands: the items of the description with what
// they show, and what the last read of a card left behind.
struct CardWorkState {
    std::vector<TConfigItem> items;  // description order; OnCard as the last read found it
    ItemValues values;               // one per item
    bool new_version = false;        // the last read met the newer firmware, or no card at all
    bool config_led = false;         // the LED table is read, written and exported
    std::string card_type;           // the card type of the last read: the identity check's
    LedTable led;
    CommonInfo info;
};

// The items of a description, each with a value box when its page is one that gets a tab (the
// first five pages of CONFIG_PAGE, and the LED page), nothing shown yet.
void DescribeItems(CardWorkState& state, const IniFile& description);
// Whether the item's page gets a tab, among the pages of CONFIG_PAGE.
bool ItemOnBuiltPage(const TConfigItem& item, const std::vector<ConfigPage>& pages);
// Whether the window shows the item of the state's list at `index`: it has its controls, neither
// VISIBLE 0 nor the card-type filter hides them, and its tab is not hidden (a newer-generation
// card, or none, hides every described tab; the LED tab is there while ConfigLed is set).
bool ShownInWindow(const CardWorkState& state, size_t index);

// What the model's rules take from the values: the texts of the boxes, what an export reads of
// an item, which items have a box, and what the check before writing looks at.
ShownText ShownTexts(const CardWorkState& state);
ShownItems ShownOnScreen(const CardWorkState& state);
HasValueBox ValueBoxes(const CardWorkState& state);
std::vector<ItemCheck> ItemChecks(const CardWorkState& state);

// Every value box empty and its check box cleared, the LED step list "--", the LED table zero.
void ClearAllValues(CardWorkState& state, CardWorkView& view);
// Hides what a card's type and generation leave out: every described tab for a newer-generation
// card (or none at all), else the SCARDTYPE_ITEM 0 items of a card type in SCARDTYPE_LIST.
void ApplyCardFilter(CardWorkState& state, const IniFile& description, std::string_view card_type,
                     CardWorkView& view);
// Shows the stored values of a section of a values file or of a setting file. Every value is
// checked first: one that is no decimal integer fails the load (logged) and nothing is shown, or
// with BadValue::kSkipKey is logged and leaves only its item's box empty.
bool LoadItemValues(CardWorkState& state, const IniFile& file, std::string_view section,
                    LogSink& log, BadValue bad_value = BadValue::kFailSection);
// The LED lines of a section into the table; a section that does not exist changes nothing.
void LoadLedInfo(CardWorkState& state, const IniFile& file, std::string_view section);

}  // namespace cardwright
