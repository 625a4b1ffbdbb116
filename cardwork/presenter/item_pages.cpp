#include "cardwork/presenter/item_pages.h"

namespace cardwright {

namespace {

// The window's work per item, in steps of ViewChannel::WorkDone.
constexpr int kBuildItemSteps = 10;
constexpr int kRemoveItemSteps = 2;
constexpr int kShowValueSteps = 2;
// Rows go to the view this many at a time: one call of the view builds them at once, so a batch
// is what stalls the window longest (a few milliseconds even in a debug build).
constexpr size_t kRowsPerBatch = 10;
constexpr const char* kBadConfigMessage = "Bad config files...";

}  // namespace

ItemPages::ItemPages(CardWorkState& state, ViewChannel& channel)
    : state_(state), channel_(channel) {
    tabs_[static_cast<size_t>(Tab::kCommonInfo)] = {"Common Info", true};
    tabs_[static_cast<size_t>(Tab::kLed)] = {"Led Setting", true};
}

void ItemPages::Build(const IniFile& description, LogSink& log,
                      const std::function<void(const std::string&)>& message) {
    state_.items.clear();
    state_.values = ItemValues();
    std::vector<std::string> repeated_items;
    std::vector<std::string> repeated_pages;
    std::optional<std::vector<TConfigItem>> items = ReadConfigItems(description, &repeated_items);
    const std::optional<std::vector<ConfigPage>> pages =
        ReadConfigPages(description, &repeated_pages);
    items_described_ = items.has_value();
    if (items) {
        state_.items = std::move(*items);
    }
    has_row_.assign(state_.items.size(), false);
    for (const std::string& name : repeated_items) {
        log.AddLog("Item " + name +
                   " is listed twice in [CONFIG_ITEM]: the later one is ignored...");
    }
    for (const std::string& id : repeated_pages) {
        log.AddLog("Page " + id + " is listed twice in [CONFIG_PAGE]: the later one is ignored...");
    }
    if (!pages) {
        message(kBadConfigMessage);
    } else {
        for (size_t i = 0; i < pages->size(); ++i) {
            const ConfigPage& page = (*pages)[i];
            if (i >= kPageSlots) {
                log.AddLog("Page " + page.id + " (" + page.caption +
                           ") not shown: there are tabs for five pages only...");
                continue;
            }
            const Tab tab = DescribedTab(static_cast<int>(i));
            ShowTab(tab, page.caption, true);
            BuildPage(tab, page.id, message);
        }
    }
    BuildPage(Tab::kLed, std::string(kLedPageId), message);
    state_.values =
        ItemValues(state_.items, [this, first = state_.items.data()](const TConfigItem& item) {
            return HasRow(static_cast<size_t>(&item - first));
        });
    state_.values.SetListener(this);
}

void ItemPages::BuildPage(Tab tab, const std::string& page_id,
                          const std::function<void(const std::string&)>& message) {
    if (!items_described_) {
        message(kBadConfigMessage);
        return;
    }
    std::vector<PageRow> rows;
    const auto send = [&] {
        if (!rows.empty()) {
            channel_.View().AddPageRows(tab, rows);
            channel_.WorkDone(kBuildItemSteps * static_cast<int>(rows.size()));
            rows.clear();
        }
    };
    for (size_t index = 0; index < state_.items.size(); ++index) {
        const TConfigItem& item = state_.items[index];
        if (item.AlongPage != page_id) {
            continue;
        }
        has_row_[index] = true;
        rows.push_back({index, item.Name, item.Caption, SplitList(item.Range), item.UserInput,
                        item.Visible, item.ItemWidth});
        if (rows.size() == kRowsPerBatch) {
            send();
        }
    }
    send();
}

void ItemPages::Free() {
    std::vector<size_t> rows;
    for (size_t index = 0; index < has_row_.size(); ++index) {
        if (has_row_[index]) {
            rows.push_back(index);
        }
        if (rows.size() == kRowsPerBatch || (index + 1 == has_row_.size() && !rows.empty())) {
            channel_.View().RemoveItems(rows);
            channel_.WorkDone(kRemoveItemSteps * static_cast<int>(rows.size()));
            rows.clear();
        }
    }
    has_row_.clear();
    state_.items.clear();
    state_.values = ItemValues();
}

void ItemPages::ShowTab(Tab tab, const std::string& caption, bool visible) {
    tabs_[static_cast<size_t>(tab)] = {caption, visible};
    channel_.View().ShowTab(tab, caption, visible);
}

void ItemPages::HideDescribedTabs() {
    for (int slot = 0; slot < kDescribedTabs; ++slot) {
        const Tab tab = DescribedTab(slot);
        ShowTab(tab, TabAt(tab).caption, false);
    }
}

std::optional<Tab> ItemPages::ShownTab(const std::string& caption) const {
    for (int at = 0; at < kTabCount; ++at) {
        if (tabs_[static_cast<size_t>(at)].visible &&
            tabs_[static_cast<size_t>(at)].caption == caption) {
            return static_cast<Tab>(at);
        }
    }
    return std::nullopt;
}

ItemState ItemPages::StateOf(size_t item) const {
    const ItemValue& value = state_.values[item];
    return {value.text, value.entry, value.ticked};
}

void ItemPages::Reshow(size_t item) {
    if (HasRow(item) && item < state_.values.size()) {
        channel_.View().ShowItem(item, StateOf(item));
        channel_.WorkDone(kShowValueSteps);
    }
}

void ItemPages::ItemShown(size_t index) {
    Reshow(index);
}

void ItemPages::ItemHidden(size_t index) {
    if (HasRow(index)) {
        channel_.View().HideItem(index);
        channel_.WorkDone(kShowValueSteps);
    }
}

}  // namespace cardwright
