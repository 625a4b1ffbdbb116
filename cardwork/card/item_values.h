#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cardwork/model/config_item.h"
#include "cardwork/model/stored_values.h"

namespace cardwright {

// What one item shows.
struct ItemValue {
    bool has_box = false;      // its page was built: it has a value box and a LABEL_ check box
    bool box_visible = false;  // neither VISIBLE 0 nor the card-type filter hides its controls
    std::string text;          // the value box's text
    int entry = -1;            // in a pick-only box, the RANGE entry shown (-1: none)
    bool ticked = false;       // the LABEL_ check box: the item counts as changed
    // What it shows was given to it: read from a card, loaded from a file, or chosen by the user,
    // not only its described default put back.
    bool given = false;
};

// The values a list of items shows, one per item, kept by the rules of the window's boxes: a
// pick-only box shows the first RANGE entry equal to a text (letter case aside) or nothing, an
// editable box any text, and the check box is ticked exactly when the text marks a change from
// the item's default. Whoever shows the values listens for their changes.
class ItemValues {
  public:
    class Listener {
      public:
        virtual ~Listener() = default;
        virtual void ItemShown(size_t index) = 0;  // its text and its tick
        virtual void ItemHidden(size_t index) = 0;
    };

    ItemValues() = default;
    // Nothing shown and nothing ticked; `has_box` tells which items got their controls.
    ItemValues(std::span<const TConfigItem> items, const HasValueBox& has_box);

    size_t size() const { return values_.size(); }
    const ItemValue& operator[](size_t index) const { return values_[index]; }
    // The item of that name.
    std::optional<size_t> Find(std::string_view name) const;

    void SetListener(Listener* listener) { listener_ = listener; }

    // Shows a text (read or loaded) in an item's box and ticks its check box by it. Items without
    // a box are left alone.
    void Show(size_t index, std::string_view text);
    void Untick(size_t index);
    void Hide(size_t index);
    // Every box empty, every check box cleared.
    void ClearAll();
    // Every item whose check box is cleared shows its default again.
    void ResetUnchecked();
    // What the screen shows, a text the user changed counting as given; no listener is told.
    void Take(size_t index, std::string text, int entry, bool ticked);

  private:
    struct Rules {
        bool user_input = false;
        std::vector<std::string> entries;  // RANGE
        std::string default_value;
    };

    // Show without telling anyone.
    void Put(size_t index, std::string_view text);
    void Told(size_t index) const;

    std::vector<Rules> rules_;
    std::vector<ItemValue> values_;
    std::unordered_map<std::string, size_t> index_;
    Listener* listener_ = nullptr;
};

}  // namespace cardwright
