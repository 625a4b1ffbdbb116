#include "cardwork/model/config_item.h"

#include <unordered_set>

#include "cardwork/model/item_value.h"

namespace cardwright {

std::string DisplayText(const TConfigItem& item) {
    const std::string_view caption = item.Caption;
    return std::string(caption.ends_with(": ") ? caption.substr(0, caption.size() - 2) : caption);
}

TConfigItem ReadConfigItem(const IniFile& description, const std::string& name) {
    TConfigItem item;
    item.Name = name;
    item.AlongPage = description.ReadString(name, "ALONG_PAGE", "");
    item.Caption = description.ReadString(name, "DISPLAY", "") + ": ";
    item.Range = description.ReadString(name, "RANGE", "");
    item.RangeValue = description.ReadString(name, "RANGE_VALUE", "-1");
    item.UserInput = description.ReadBool(name, "USER_INPUT", false);
    item.NvId = description.ReadString(name, "NV_ID", "0");
    item.NvBit = description.ReadInteger(name, "NV_BIT", -1);
    item.ItemType = description.ReadString(name, "TYPE", "");
    item.NvByte = description.ReadString(name, "NV_BYTE", "-1");
    item.DefaultValue = description.ReadString(name, "DEFAULT_VALUE", "");
    item.SCardTypeItem = description.ReadInteger(name, "SCARDTYPE_ITEM", 1);
    item.Visible = description.ReadBool(name, "VISIBLE", false);
    item.ValueCount = description.ReadInteger(name, "VALUECOUNT", 1);
    item.NewVersion = description.ReadInteger(name, "NEW_VERSION", 0);
    item.ItemWidth = description.ReadInteger(name, "ITEM_WIDTH", 100);
    item.OnCard = true;
    return item;
}

namespace {

// The keys of a section, each name once (letter case aside, as the file's keys compare): a name
// listed again is one key the file cannot tell apart, so the later one goes into `repeated`.
std::vector<std::string> DistinctKeys(const IniFile& description, std::string_view section,
                                      std::vector<std::string>* repeated) {
    std::vector<std::string> keys;
    std::unordered_set<std::string> seen;
    for (std::string& key : description.ReadSection(section)) {
        if (!seen.insert(UpperCase(key)).second) {
            if (repeated != nullptr) {
                repeated->push_back(std::move(key));
            }
            continue;
        }
        keys.push_back(std::move(key));
    }
    return keys;
}

}  // namespace

std::optional<std::vector<TConfigItem>> ReadConfigItems(const IniFile& description,
                                                        std::vector<std::string>* repeated) {
    const auto names = DistinctKeys(description, kItemSection, repeated);
    if (names.empty()) {
        return std::nullopt;
    }
    std::vector<TConfigItem> items;
    for (const auto& name : names) {
        if (description.SectionExists(name)) {
            items.push_back(ReadConfigItem(description, name));
        }
    }
    return items;
}

std::optional<std::vector<ConfigPage>> ReadConfigPages(const IniFile& description,
                                                       std::vector<std::string>* repeated) {
    const auto ids = DistinctKeys(description, kPageSection, repeated);
    if (ids.empty()) {
        return std::nullopt;
    }
    std::vector<ConfigPage> pages;
    pages.reserve(ids.size());
    for (const auto& id : ids) {
        pages.push_back({id, description.ReadString(kPageSection, id, "")});
    }
    return pages;
}

bool CardTypeListed(const IniFile& description, const std::string& card_type) {
    if (!description.SectionExists(kCardTypeSection)) {
        return false;
    }
    return description.ReadString(kCardTypeSection, kCardTypeList, "").find(card_type) !=
           std::string::npos;
}

std::vector<std::string> SplitList(std::string_view text, char separator) {
    std::vector<std::string> parts;
    if (text.empty()) {
        return parts;
    }
    size_t at = 0;
    for (;;) {
        const size_t next = text.find(separator, at);
        parts.emplace_back(text.substr(at, next == std::string_view::npos ? next : next - at));
        if (next == std::string_view::npos) {
            return parts;
        }
        at = next + 1;
    }
}

void ItemLayout::Advance(bool visible) {
    if (!visible) {
        return;
    }
    y_ += 30;
    if (page_height_ - 50 < y_) {
        y_ = 20;
        x_ += 240;
    }
}

}  // namespace cardwright
