#include "cardwork/model/defaulted_items.h"

#include <set>

#include "cardwork/model/item_value.h"
#include "cardwork/model/setting_crc.h"

namespace cardwright {

std::string DefaultedItems::Sentence() const {
    if (captions.empty()) {
        return "No item is left to its default";
    }
    std::string text = captions.size() == 1 ? std::string("1 item is left to its default: ")
                                            : std::to_string(captions.size()) +
                                                  " items are left to their defaults: ";
    for (size_t i = 0; i < captions.size(); ++i) {
        text += (i == 0 ? "" : ", ") + captions[i];
    }
    return text;
}

DefaultedItems ItemsLeftToDefaults(std::span<const TConfigItem> items,
                                   const HasValueBox& has_value_box, const IniFile& settings,
                                   bool new_version) {
    // The items the file shows a value in, by the rules an import loads them by.
    std::set<std::string> named;
    for (const ShownValue& shown :
         DecodeItemValues(items, has_value_box, settings, kValuesSection, BadValue::kSkipKey)
             .values) {
        named.insert(shown.item);
    }
    DefaultedItems defaulted;
    for (const TConfigItem& item : items) {
        const bool written = (!new_version || item.NewVersion != 0) && has_value_box(item) &&
                             item.Visible && KindOf(item) != ItemKind::kDeviceState &&
                             TypeWidth(item.ItemType) != 0 && !IsDefaultText(item.DefaultValue);
        if (written && !named.contains(item.Name)) {
            defaulted.captions.push_back(DisplayText(item));
        }
    }
    return defaulted;
}

}  // namespace cardwright
