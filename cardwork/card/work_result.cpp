#include "cardwork/card/work_result.h"

namespace cardwright {

WorkResult WorkResult::Done(std::string note) {
    return {WorkOutcome::kOk, std::nullopt, {}, {}, std::move(note)};
}

WorkResult WorkResult::Refused(WorkStep step, std::string reason) {
    return {WorkOutcome::kRefused, step, {}, std::move(reason), {}};
}

WorkResult WorkResult::Failed(std::optional<WorkStep> step, std::string reason, std::string item) {
    return {WorkOutcome::kFailed, step, std::move(item), std::move(reason), {}};
}

WorkResult WorkResult::Cancelled(WorkStep step) {
    return {WorkOutcome::kCancelled, step, {}, {}, {}};
}

WorkResult WorkResult::Mismatch(std::string note) {
    return {WorkOutcome::kMismatch, std::nullopt, {}, {}, std::move(note)};
}

WorkResult WorkResult::Interrupted(WorkStep step) {
    return {WorkOutcome::kInterrupted, step, {}, {}, {}};
}

std::string WorkResult::Text() const {
    const auto noted = [this](const std::string& text) {
        return note.empty() ? text : text + "; " + note;
    };
    switch (outcome) {
        case WorkOutcome::kOk:
            return noted("ok");
        case WorkOutcome::kRefused:
            return "refused: " + reason;
        case WorkOutcome::kFailed: {
            std::string text = "failed";
            if (step) {
                text += " at " + std::string(StepName(*step));
            }
            return text + (reason.empty() ? " (see the log)" : ": " + reason);
        }
        case WorkOutcome::kCancelled:
            return "cancelled";
        case WorkOutcome::kMismatch:
            return noted("verify mismatch");
        case WorkOutcome::kInterrupted:
            return "interrupted at " + std::string(step ? StepName(*step) : "work");
    }
    return {};
}

}  // namespace cardwright
