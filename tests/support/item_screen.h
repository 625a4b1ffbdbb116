#pragma once

#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "cardwork/model/item_value.h"
#include "cardwork/model/setting_file.h"

namespace testsupport {

// The value boxes and LABEL_ check boxes of a list of items, kept as the window keeps them: a
// pick-only box shows only one of its RANGE entries (or nothing), and the check box is ticked
// exactly when the shown text marks a change from the item's default. Every item has both boxes,
// visible as its VISIBLE says.
class ItemScreen {
  public:
    explicit ItemScreen(std::vector<cardwright::TConfigItem> items) : items_(std::move(items)) {
        for (const auto& item : items_) {
            Show(item.Name, item.DefaultValue);
        }
    }

    std::span<const cardwright::TConfigItem> Items() const { return items_; }

    void Show(const std::string& name, const std::string& text) {
        const cardwright::TConfigItem& item = Item(name);
        std::string shown;
        if (item.UserInput) {
            shown = text;
        } else {
            for (const auto& entry : cardwright::SplitList(item.Range)) {
                if (cardwright::EqualIgnoringCase(entry, text)) {
                    shown = entry;
                    break;
                }
            }
        }
        texts_[name] = shown;
    }

    void Show(const std::vector<cardwright::ShownValue>& values) {
        for (const auto& value : values) {
            Show(value.item, value.text);
        }
    }

    const std::string& Text(const std::string& name) const { return texts_.at(name); }

    bool Checked(const cardwright::TConfigItem& item) const {
        return cardwright::MarksChanged(texts_.at(item.Name), item.DefaultValue);
    }

    cardwright::ShownItems Shown() const {
        return [this](const cardwright::TConfigItem& item) {
            return cardwright::ItemShown{texts_.at(item.Name), Checked(item), item.Visible};
        };
    }

    static cardwright::HasValueBox EveryItemHasABox() {
        return [](const cardwright::TConfigItem&) { return true; };
    }

  private:
    const cardwright::TConfigItem& Item(const std::string& name) const {
        for (const auto& item : items_) {
            if (item.Name == name) {
                return item;
            }
        }
        throw std::out_of_range("no item " + name);
    }

    std::vector<cardwright::TConfigItem> items_;
    std::map<std::string, std::string> texts_;
};

}  // namespace testsupport
