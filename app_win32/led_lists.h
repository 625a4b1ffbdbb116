#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "app_win32/list_view.h"
#include "cardwork/presenter/window_view.h"

namespace cardwright::win32 {

// The LED page's two lists beside its items: the statuses (ListView2, one column "Status") and
// the steps of the selected status (ListView1, "颜色" and "时间", several rows selectable), with
// the step list's menu (PopupMenu2: Delete, Modify, Delete all).
class LedLists {
  public:
    // What the user asked of the page.
    struct Request {
        enum class Kind { kSelectStatus, kModify, kDelete, kDeleteAll } kind;
        int number = 0;  // the status (0: none) or the step (counted from 1; 0: none)
    };

    LedLists(HWND page, HFONT font, UINT dpi);

    void ShowSteps(const std::vector<LedStepRow>& rows);
    void ShowStep(int step, const LedStepRow& row);
    void Layout(UINT dpi);

    // WM_NOTIFY of one of the lists: what the user asked, when it was something.
    std::optional<Request> Notify(const NMHDR& header);
    // A menu command of the step list.
    std::optional<Request> Command(int id) const;

    const ListView& Statuses() const { return statuses_; }
    const ListView& Steps() const { return steps_; }

  private:
    int SelectedStatus() const;
    int FirstSelectedStep() const;

    HWND page_;
    ListView statuses_;
    ListView steps_;
    int status_ = 0;  // the one the view last told about
};

}  // namespace cardwright::win32
