#include "cardwork/records/stored_record.h"

#include <array>
#include <utility>

#include "cardwork/json/json_document.h"

namespace cardwright {

namespace {

constexpr std::array<std::pair<RecordOutcome, std::string_view>, 6> kNames = {{
    {RecordOutcome::kOk, "ok"},
    {RecordOutcome::kRefused, "refused"},
    {RecordOutcome::kFailed, "failed"},
    {RecordOutcome::kCancelled, "cancelled"},
    {RecordOutcome::kMismatch, "mismatch"},
    {RecordOutcome::kInterrupted, "interrupted"},
}};

}  // namespace

std::string_view OutcomeName(RecordOutcome outcome) {
    for (const auto& [named, name] : kNames) {
        if (named == outcome) {
            return name;
        }
    }
    return {};
}

std::optional<RecordOutcome> OutcomeNamed(std::string_view name) {
    for (const auto& [outcome, named] : kNames) {
        if (named == name) {
            return outcome;
        }
    }
    return std::nullopt;
}

RecordOutcome OutcomeOf(WorkOutcome outcome) {
    switch (outcome) {
        case WorkOutcome::kOk:
            return RecordOutcome::kOk;
        case WorkOutcome::kRefused:
            return RecordOutcome::kRefused;
        case WorkOutcome::kFailed:
            return RecordOutcome::kFailed;
        case WorkOutcome::kCancelled:
            return RecordOutcome::kCancelled;
        case WorkOutcome::kMismatch:
            return RecordOutcome::kMismatch;
        case WorkOutcome::kInterrupted:
            return RecordOutcome::kInterrupted;
    }
    return RecordOutcome::kFailed;
}

void StoredRecord::End(const WorkResult& work) {
    result = work.Text();
    outcome = OutcomeOf(work.outcome);
    if (work.step) {
        step = std::string(StepName(*work.step));
    }
}

std::string ListText(const std::vector<std::string>& list) {
    std::string line = JsonLine(Json(list));
    line.pop_back();
    return line;
}

std::vector<std::string> ListOf(const std::string& text) {
    std::vector<std::string> list;
    const ParsedJson parsed = ParseJson(text);
    if (parsed.value && parsed.value->is_array()) {
        for (const Json& entry : *parsed.value) {
            if (entry.is_string()) {
                list.push_back(entry.get<std::string>());
            }
        }
    }
    return list;
}

}  // namespace cardwright
