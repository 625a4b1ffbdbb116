#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "cardwork/card/work_step.h"

namespace cardwright {

// Where a sequence is: the step, and for the item steps the item k of n (counted from 1) and its
// caption.
struct WorkProgress {
    WorkStep step = WorkStep::kOpeningCard;
    size_t item = 0;
    size_t items = 0;
    std::string_view caption;
};

// The progress seam: told at each step. The window shows it in its status bar; nothing is done
// by default.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void Report(const WorkProgress& /*progress*/) {}

    void Step(WorkStep step) { Report({step, 0, 0, {}}); }
};

// The step in words: "Opening the card...", "Reading 3 of 20: Band".
std::string ProgressText(const WorkProgress& progress);

}  // namespace cardwright
