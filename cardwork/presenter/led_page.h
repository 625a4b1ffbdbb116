#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cardwork/model/led_table.h"
#include "cardwork/presenter/window_view.h"

namespace cardwright {

// Asked before a step is changed while the step before it ends the pattern.
inline constexpr std::string_view kPreviousStepFirstMessage =
    "Please set the previous number first...";

// The LED page's two lists as the window shows them: which status is selected and what each row
// of the step list shows. The editing commands go by what the rows show, as the user sees them,
// and change the LED table.
class LedPage {
  public:
    // The step list of a status as the table holds it: colour and time up to the pattern's end
    // (a time of 0 or -1, or no colour), "--" from there on; no rows without a status.
    static std::vector<LedStepRow> StepRows(const LedTable& table, int status);
    // A colour as the script names it: its name ("Blue"), its dialog entry or its code, 1 to 8.
    static std::optional<int> ColourCode(const std::string& name);

    int Status() const { return status_; }
    const std::vector<LedStepRow>& Rows() const { return rows_; }

    // The status the user selected (0: none): the step list is built anew.
    void Select(const LedTable& table, int status);
    // Every row shows "--" (the table was cleared).
    void Clear();

    // Whether `step` (counted from 1) of the selected status may be changed: a row is shown for
    // it, and the row before it shows a step. nullopt: there is nothing to change.
    std::optional<bool> MayChange(int step) const;
    // The row shows the step chosen in the dialog: its colour entry and its time.
    void Changed(LedTable& table, int step, const LedStep& chosen);
    // The row shows "--"; the step ends the pattern.
    void Deleted(LedTable& table, int step);
    // Every step of the selected status; false when no status is selected or no row shown.
    bool AllDeleted(LedTable& table);

  private:
    int status_ = 0;
    std::vector<LedStepRow> rows_;
};

}  // namespace cardwright
