#include "cardwork/card/item_values.h"

#include "cardwork/model/item_value.h"

namespace cardwright {

ItemValues::ItemValues(std::span<const TConfigItem> items, const HasValueBox& has_box) {
    rules_.reserve(items.size());
    values_.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const TConfigItem& item = items[i];
        rules_.push_back({item.UserInput, SplitList(item.Range), item.DefaultValue});
        ItemValue value;
        value.has_box = has_box(item);
        value.box_visible = value.has_box && item.Visible;
        values_.push_back(std::move(value));
        index_.emplace(item.Name, i);
    }
}

std::optional<size_t> ItemValues::Find(std::string_view name) const {
    const auto found = index_.find(std::string(name));
    if (found == index_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void ItemValues::Show(size_t index, std::string_view text) {
    if (values_[index].has_box) {
        Put(index, text);
        values_[index].given = true;
        Told(index);
    }
}

void ItemValues::Put(size_t index, std::string_view text) {
    ItemValue& value = values_[index];
    const Rules& rules = rules_[index];
    if (rules.user_input) {
        value.text = text;
    } else {
        value.entry = -1;
        value.text.clear();
        for (size_t i = 0; i < rules.entries.size(); ++i) {
            if (EqualIgnoringCase(rules.entries[i], text)) {
                value.entry = static_cast<int>(i);
                value.text = rules.entries[i];
                break;
            }
        }
    }
    value.ticked = MarksChanged(value.text, rules.default_value);
}

void ItemValues::Untick(size_t index) {
    if (values_[index].has_box) {
        values_[index].ticked = false;
        Told(index);
    }
}

void ItemValues::Hide(size_t index) {
    if (values_[index].has_box) {
        values_[index].box_visible = false;
        if (listener_ != nullptr) {
            listener_->ItemHidden(index);
        }
    }
}

void ItemValues::ClearAll() {
    for (size_t i = 0; i < values_.size(); ++i) {
        if (values_[i].has_box) {
            Put(i, "");
            values_[i].ticked = false;
            values_[i].given = false;
            Told(i);
        }
    }
}

void ItemValues::ResetUnchecked() {
    for (size_t i = 0; i < values_.size(); ++i) {
        // What the item was given stays given: a value equal to its default is still the card's
        // or the file's.
        if (values_[i].has_box && !values_[i].ticked) {
            Put(i, rules_[i].default_value);
            Told(i);
        }
    }
}

void ItemValues::Take(size_t index, std::string text, int entry, bool ticked) {
    ItemValue& value = values_[index];
    value.given = value.given || text != value.text;
    value.text = std::move(text);
    value.entry = entry;
    value.ticked = ticked;
}

void ItemValues::Told(size_t index) const {
    if (listener_ != nullptr) {
        listener_->ItemShown(index);
    }
}

}  // namespace cardwright
