#pragma once

#include <optional>
#include <string>

#include "cardwork/card/work_step.h"

namespace cardwright {

// How a piece of work on a card ended.
enum class WorkOutcome {
    kOk,
    kRefused,      // a check refused the card or the file before the work changed anything
    kFailed,       // a step did not go through
    kCancelled,    // the user chose not to go on
    kMismatch,     // the work went through, but the card holds otherwise than it was given
    kInterrupted,  // the work was broken off from outside during a step
};

// What a read, write, import or export came to, and what the work of a batch on one card came
// to: the outcome, the step it ended at, what within the step it ended at and why, in words. The
// front ends put it in their own words from these fields alone.
struct WorkResult {
    WorkOutcome outcome = WorkOutcome::kOk;
    // Where it ended when it did not go through; nullopt when no step of the work is to blame.
    std::optional<WorkStep> step;
    // What it ended at within the step, where that tells more: an item's caption, "the backup".
    std::string item;
    // Why: what was refused ("other card type"), why the step failed ("COM12 is gone"); empty
    // when only the log tells.
    std::string reason;
    // After kOk or kMismatch: what else the card's owner must know.
    std::string note;

    static WorkResult Done(std::string note = {});
    static WorkResult Refused(WorkStep step, std::string reason);
    static WorkResult Failed(std::optional<WorkStep> step, std::string reason,
                             std::string item = {});
    static WorkResult Cancelled(WorkStep step);
    static WorkResult Mismatch(std::string note = {});
    static WorkResult Interrupted(WorkStep step);

    bool Ok() const { return outcome == WorkOutcome::kOk; }

    // As a record of the work gives it: "ok", "refused: other card type", "failed at writing:
    // <reason>" ("failed at writing (see the log)" without one), "cancelled", "verify mismatch",
    // "interrupted at writing"; a note follows after "; ".
    std::string Text() const;
};

}  // namespace cardwright
