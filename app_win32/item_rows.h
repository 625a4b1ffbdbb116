#pragma once

#include <windows.h>

#include <array>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app_win32/owned.h"
#include "app_win32/page_control.h"
#include "cardwork/model/config_item.h"
#include "cardwork/presenter/window_view.h"

namespace cardwright::win32 {

// The items' boxes on the pages: for each item its "LABEL_" check box and its value box, laid
// out by ItemLayout for the height of the page control at the time a page's first row came. A
// caption too long for the room in front of the value box is drawn in a smaller font when one
// fits, else cut with "..." and shown whole as the check box's tool tip.
class ItemRows {
  public:
    // What the user did to an item's boxes.
    struct Edit {
        size_t item = 0;
        ItemState state;
    };

    ItemRows(PageControl& pages, HWND owner);
    ItemRows(const ItemRows&) = delete;
    ItemRows& operator=(const ItemRows&) = delete;

    void Add(Tab tab, const std::vector<PageRow>& rows, UINT dpi);
    void Remove(const std::vector<size_t>& items);
    void Show(size_t item, const ItemState& state);
    void Hide(size_t item);

    // A notification of one of the boxes (WM_COMMAND): the user's edit, when it was one.
    std::optional<Edit> Command(HWND control, int code);
    // What the item's boxes show; nullopt when it has none.
    std::optional<ItemState> StateOf(size_t item) const;
    // The check box's caption as drawn, and whether it is cut; for the window's checks.
    std::optional<std::wstring> CaptionShown(size_t item) const;
    HWND CheckBox(size_t item) const;
    HWND ValueBox(size_t item) const;

    void Rescale(UINT dpi);

  private:
    struct Row {
        Tab tab;
        HWND check = nullptr;
        HWND value = nullptr;
        std::wstring caption;
        ItemLayout::Point at{};
        int width = 0;
        bool editable = false;
        bool visible = true;
    };

    void Place(const Row& row) const;
    void FitCaption(const Row& row);
    HFONT FontOfHeight(int height);
    ItemState Read(const Row& row) const;

    PageControl& pages_;
    HWND owner_;
    HWND tips_;
    UINT dpi_ = 96;
    std::unordered_map<size_t, Row> rows_;
    std::unordered_map<HWND, size_t> item_of_;
    std::array<std::optional<ItemLayout>, kTabCount> layouts_;
    std::array<int, kTabCount> counts_{};
    std::map<int, OwnedFont> fonts_;  // by their height
    bool updating_ = false;           // the window changes the boxes itself
};

}  // namespace cardwright::win32
