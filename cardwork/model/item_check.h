#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cardwork/model/config_item.h"

namespace cardwright {

// What the window shows of one item when it checks the values before writing.
struct ItemCheck {
    const TConfigItem* item = nullptr;
    std::optional<bool> checked;      // nullopt: the item has no LABEL_ check box
    std::optional<std::string> text;  // nullopt: the item has no value box
};

struct CheckResult {
    bool ok = true;
    std::vector<std::string> log;  // the lines to log, in order
};

// The check before writing, item by item until the first failure: a ticked item must not be
// blank, and a user-input item (unless it shows "DEFAULT") must show a number its TYPE holds.
// Only failure lines are returned; the caller logs the closing line.
CheckResult CheckItemValues(std::span<const ItemCheck> items);

}  // namespace cardwright
