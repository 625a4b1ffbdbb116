#include "cardwork/model/item_check.h"

#include <algorithm>

#include "cardwork/model/item_value.h"

namespace cardwright {

CheckResult CheckItemValues(std::span<const ItemCheck> items) {
    CheckResult result;
    for (const ItemCheck& check : items) {
        if (!check.text) {
            continue;
        }
        const TConfigItem& item = *check.item;
        const std::string& text = *check.text;
        if (check.checked) {
            if (!*check.checked) {
                continue;
            }
            const bool blank = std::all_of(text.begin(), text.end(), [](char c) {
                return static_cast<unsigned char>(c) <= ' ';
            });
            if (blank) {
                result.ok = false;
                result.log.push_back(item.Caption + " was NULL...");
                return result;
            }
        }
        if (IsDefaultText(text) || !item.UserInput) {
            continue;
        }
        if (!UserNumberFits(item, text)) {
            result.ok = false;
            result.log.push_back(item.Caption + " is not valid...");
            return result;
        }
    }
    return result;
}

}  // namespace cardwright
