#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "cardwork/presenter/window_view.h"

namespace cardwright::win32 {

// PageControl1: the tab control and one page window per tab, laid over the tab control's display
// area. A hidden tab has no entry in the tab control; its page keeps its controls. Pages pass
// their controls' notifications on to the main window, and Tab moves between the controls of the
// page shown (WS_EX_CONTROLPARENT).
class PageControl {
  public:
    PageControl(HWND parent, int id, HFONT font);
    PageControl(const PageControl&) = delete;
    PageControl& operator=(const PageControl&) = delete;

    HWND TabControl() const { return tabs_; }
    HWND Page(Tab tab) const { return pages_[Index(tab)]; }

    void ShowTab(Tab tab, const std::string& caption, bool visible);
    void Select(Tab tab);
    // The tab in front; nullopt when no tab is shown.
    std::optional<Tab> Selected() const;
    // After the user chose another tab (TCN_SELCHANGE): the page in front follows.
    std::optional<Tab> FollowSelection();
    const std::string& Caption(Tab tab) const { return captions_[Index(tab)]; }
    bool Visible(Tab tab) const { return visible_[Index(tab)]; }
    // The tabs shown, in their order.
    const std::vector<Tab>& Shown() const { return shown_; }

    void Layout(const RECT& area);
    // The height of the whole control, in pixels of the window.
    int Height() const;
    void Enable(bool enabled);

  private:
    static size_t Index(Tab tab) { return static_cast<size_t>(tab); }
    void RebuildEntries(std::optional<Tab> keep);
    void ShowPageOf(std::optional<Tab> tab);

    HWND parent_;
    HWND tabs_;
    std::array<HWND, kTabCount> pages_{};
    std::array<std::string, kTabCount> captions_;
    std::array<bool, kTabCount> visible_{};
    std::vector<Tab> shown_;
};

}  // namespace cardwright::win32
