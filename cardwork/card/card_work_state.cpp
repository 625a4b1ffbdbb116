#include "cardwork/card/card_work_state.h"

#include "cardwork/card/card_work_view.h"
#include "cardwork/card/log_sink.h"

namespace cardwright {

namespace {

// The value of an item of the state's list, or of a record made from one (a multi-value item's
// single record keeps the item's name).
const ItemValue* ValueOf(const CardWorkState& state, const TConfigItem& item) {
    const TConfigItem* first = state.items.data();
    if (&item >= first && &item < first + state.items.size() &&
        static_cast<size_t>(&item - first) < state.values.size()) {
        return &state.values[static_cast<size_t>(&item - first)];
    }
    const auto index = state.values.Find(item.Name);
    return index ? &state.values[*index] : nullptr;
}

}  // namespace

bool ItemOnBuiltPage(const TConfigItem& item, const std::vector<ConfigPage>& pages) {
    if (item.AlongPage == kLedPageId) {
        return true;
    }
    for (size_t i = 0; i < pages.size() && i < kPageSlots; ++i) {
        if (pages[i].id == item.AlongPage) {
            return true;
        }
    }
    return false;
}

bool ShownInWindow(const CardWorkState& state, size_t index) {
    const ItemValue& value = state.values[index];
    if (!value.has_box || !value.box_visible) {
        return false;
    }
    return state.items[index].AlongPage == kLedPageId ? state.config_led : !state.new_version;
}

void DescribeItems(CardWorkState& state, const IniFile& description) {
    state.items = ReadConfigItems(description).value_or(std::vector<TConfigItem>{});
    const auto pages = ReadConfigPages(description).value_or(std::vector<ConfigPage>{});
    state.values = ItemValues(
        state.items, [&pages](const TConfigItem& item) { return ItemOnBuiltPage(item, pages); });
}

ShownText ShownTexts(const CardWorkState& state) {
    return [&state](const TConfigItem& item) -> std::optional<std::string> {
        const ItemValue* value = ValueOf(state, item);
        if (value == nullptr || !value->has_box) {
            return std::nullopt;
        }
        return value->text;
    };
}

ShownItems ShownOnScreen(const CardWorkState& state) {
    return [&state](const TConfigItem& item) {
        ItemShown shown;
        const ItemValue* value = ValueOf(state, item);
        if (value != nullptr && value->has_box) {
            shown.text = value->text;
            shown.checked = value->ticked;
            shown.box_visible = value->box_visible;
        }
        return shown;
    };
}

HasValueBox ValueBoxes(const CardWorkState& state) {
    return [&state](const TConfigItem& item) {
        const ItemValue* value = ValueOf(state, item);
        return value != nullptr && value->has_box;
    };
}

std::vector<ItemCheck> ItemChecks(const CardWorkState& state) {
    std::vector<ItemCheck> checks;
    checks.reserve(state.items.size());
    for (size_t i = 0; i < state.items.size(); ++i) {
        ItemCheck check{&state.items[i], std::nullopt, std::nullopt};
        if (state.values[i].has_box) {
            check.checked = state.values[i].ticked;
            check.text = state.values[i].text;
        }
        checks.push_back(std::move(check));
    }
    return checks;
}

void ClearAllValues(CardWorkState& state, CardWorkView& view) {
    state.values.ClearAll();
    view.LedStepsCleared();
    state.led.Clear();
}

void ApplyCardFilter(CardWorkState& state, const IniFile& description, std::string_view card_type,
                     CardWorkView& view) {
    if (state.new_version) {
        view.DescribedPagesHidden();
        return;
    }
    if (card_type.empty() || !CardTypeListed(description, std::string(card_type))) {
        return;
    }
    for (size_t i = state.items.size(); i-- > 0;) {
        if (state.items[i].SCardTypeItem == 0) {
            state.values.Hide(i);
        }
    }
}

bool LoadItemValues(CardWorkState& state, const IniFile& file, std::string_view section,
                    LogSink& log, BadValue bad_value) {
    const LoadedValues loaded =
        DecodeItemValues(state.items, ValueBoxes(state), file, section, bad_value);
    if (!loaded.Ok()) {
        log.AddLog(loaded.error);
        return false;
    }
    for (const std::string& line : loaded.skipped) {
        log.AddLog(line);
    }
    for (const ShownValue& shown : loaded.values) {
        if (const auto index = state.values.Find(shown.item)) {
            state.values.Show(*index, shown.text);
        }
    }
    return true;
}

void LoadLedInfo(CardWorkState& state, const IniFile& file, std::string_view section) {
    if (auto table = LedTableFromSection(file, section)) {
        state.led = *table;
    }
}

void CardWorkView::RebuildPages(CardWorkState& state, const IniFile& description) {
    DescribeItems(state, description);
}

}  // namespace cardwright
