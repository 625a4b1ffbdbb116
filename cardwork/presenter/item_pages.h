#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cardwork/card/card_work_state.h"
#include "cardwork/card/log_sink.h"
#include "cardwork/presenter/view_channel.h"

namespace cardwright {

// The window's tabs and the items' boxes on its pages: built from the description into the
// view, and kept in step with the items' values, which they listen to. Used on the worker only.
class ItemPages : private ItemValues::Listener {
  public:
    // A tab as the window shows it.
    struct TabState {
        std::string caption;
        bool visible = false;
    };

    ItemPages(CardWorkState& state, ViewChannel& channel);

    // The items read from the description and every described page (up to five) and the LED
    // page given their rows; the items' values made anew, nothing shown. Tabs already shown
    // stay so. What is wrong with the description is logged, or told with `message`.
    void Build(const IniFile& description, LogSink& log,
               const std::function<void(const std::string&)>& message);
    // Every item's boxes go, and the items with them.
    void Free();

    void ShowTab(Tab tab, const std::string& caption, bool visible);
    // A newer-generation card, or none: the described tabs go.
    void HideDescribedTabs();
    const TabState& TabAt(Tab tab) const { return tabs_[static_cast<size_t>(tab)]; }
    // The shown tab of that caption.
    std::optional<Tab> ShownTab(const std::string& caption) const;
    // Whether the item got boxes on a page.
    bool HasRow(size_t item) const { return item < has_row_.size() && has_row_[item]; }

    // What an item's boxes show.
    ItemState StateOf(size_t item) const;
    // Tells the view what the item shows now.
    void Reshow(size_t item);

  private:
    void BuildPage(Tab tab, const std::string& page_id,
                   const std::function<void(const std::string&)>& message);

    void ItemShown(size_t index) override;
    void ItemHidden(size_t index) override;

    CardWorkState& state_;
    ViewChannel& channel_;
    std::array<TabState, kTabCount> tabs_;
    std::vector<bool> has_row_;
    bool items_described_ = false;  // the last build found CONFIG_ITEM
};

}  // namespace cardwright
