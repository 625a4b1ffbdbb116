#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/model/ini_file.h"

namespace cardwright {

// One item of the configuration description, as its section of Config_Info.ini describes it.
struct TConfigItem {
    std::string Name;
    std::string NvId;
    int NvBit = -1;
    std::string NvByte;
    std::string Caption;
    std::string ItemType;
    std::string Range;
    std::string RangeValue;
    std::string AlongPage;
    bool UserInput = false;
    std::string DefaultValue;
    bool Visible = false;
    bool OnCard = true;
    int ValueCount = 1;
    int ItemWidth = 100;
    int SCardTypeItem = 1;
    int NewVersion = 0;
};

// A described tab: the page id (a key of CONFIG_PAGE) and its caption.
struct ConfigPage {
    std::string id;
    std::string caption;
};

// The description file's sections and keys.
inline constexpr std::string_view kPageSection = "CONFIG_PAGE";
inline constexpr std::string_view kItemSection = "CONFIG_ITEM";
inline constexpr std::string_view kCardTypeSection = "SCARDTYPE";
inline constexpr std::string_view kCardTypeList = "SCARDTYPE_LIST";
inline constexpr std::string_view kLedPageId = "PAGE_LED";
inline constexpr std::string_view kDeviceStateItem = "DEVICE_STATE_INFO";
inline constexpr size_t kPageSlots = 5;

// The item's DISPLAY text: its caption without the ": " that follows it.
std::string DisplayText(const TConfigItem& item);

// The item named `name` with every key read, missing ones at their defaults.
TConfigItem ReadConfigItem(const IniFile& description, const std::string& name);

// The keys of CONFIG_ITEM that have a section of their own, in key order; nullopt when the
// description has no CONFIG_ITEM. A name listed again is left out (and given in `repeated`):
// two items of one name would be one item with two sets of controls.
std::optional<std::vector<TConfigItem>> ReadConfigItems(
    const IniFile& description, std::vector<std::string>* repeated = nullptr);

// The keys of CONFIG_PAGE in order, a page id listed again left out (and given in `repeated`);
// nullopt when there is no such section.
std::optional<std::vector<ConfigPage>> ReadConfigPages(
    const IniFile& description, std::vector<std::string>* repeated = nullptr);

// True when the card type names a card whose SCARDTYPE_ITEM 0 items are hidden: it occurs in
// SCARDTYPE_LIST (case included).
bool CardTypeListed(const IniFile& description, const std::string& card_type);

// The RANGE entries a value box offers.
std::vector<std::string> SplitList(std::string_view text, char separator = ',');

// Where the controls of a page's items go: rows 30 pixels apart from (10, 20), and a new column
// 240 pixels to the right when the next row would come closer than 50 pixels to the page's
// bottom. Hidden items take no row.
class ItemLayout {
  public:
    struct Point {
        int x;
        int y;
        friend bool operator==(const Point&, const Point&) = default;
    };

    explicit ItemLayout(int page_height) : page_height_(page_height) {}

    Point Current() const { return {x_, y_}; }
    // Moves on after an item placed at Current().
    void Advance(bool visible);

  private:
    int page_height_;
    int x_ = 10;
    int y_ = 20;
};

}  // namespace cardwright
