#include "cardwork/presenter/led_page.h"

#include "cardwork/model/ini_file.h"
#include "cardwork/model/item_value.h"

namespace cardwright {

namespace {

constexpr std::string_view kNoStep = "--";

LedStepRow NoStepRow() {
    return {std::string(kNoStep), std::string(kNoStep)};
}

}  // namespace

std::vector<LedStepRow> LedPage::StepRows(const LedTable& table, int status) {
    std::vector<LedStepRow> rows;
    if (status < 1 || status > kLedStatuses) {
        return rows;
    }
    bool ended = false;
    for (int t = 1; t <= kLedSteps; ++t) {
        const LedStep& step = table.Step(status, t);
        const std::string name = LedColorName(step.colour);
        ended = ended || step.time == 0 || step.time == -1 || name == kNoStep;
        rows.push_back(ended ? NoStepRow() : LedStepRow{name, std::to_string(step.time)});
    }
    return rows;
}

std::optional<int> LedPage::ColourCode(const std::string& name) {
    for (int code = 1; code <= 8; ++code) {
        if (EqualIgnoringCase(name, LedColorName(code)) ||
            name == LedColorEntries()[static_cast<size_t>(code - 1)]) {
            return code;
        }
    }
    const auto code = ParseDecimal(name);
    if (code && *code >= 1 && *code <= 8) {
        return *code;
    }
    return std::nullopt;
}

void LedPage::Select(const LedTable& table, int status) {
    status_ = status >= 1 && status <= kLedStatuses ? status : 0;
    rows_ = StepRows(table, status_);
}

void LedPage::Clear() {
    for (LedStepRow& row : rows_) {
        row = NoStepRow();
    }
}

std::optional<bool> LedPage::MayChange(int step) const {
    if (status_ == 0 || step < 1 || step > static_cast<int>(rows_.size())) {
        return std::nullopt;
    }
    return step == 1 || rows_[static_cast<size_t>(step - 2)].colour != kNoStep;
}

void LedPage::Changed(LedTable& table, int step, const LedStep& chosen) {
    const bool named = chosen.colour >= 1 && chosen.colour <= 8;
    rows_[static_cast<size_t>(step - 1)] = {
        named ? std::string(LedColorEntries()[chosen.colour - 1]) : std::string(),
        std::to_string(chosen.time)};
    table.SetStep(status_, step, chosen);
    table.SetFrom(LedTable::Source::kEdited);
}

void LedPage::Deleted(LedTable& table, int step) {
    rows_[static_cast<size_t>(step - 1)] = NoStepRow();
    table.SetStep(status_, step, {});
    table.SetFrom(LedTable::Source::kEdited);
}

bool LedPage::AllDeleted(LedTable& table) {
    if (status_ == 0 || rows_.empty()) {
        return false;
    }
    for (size_t row = 0; row < rows_.size(); ++row) {
        rows_[row] = NoStepRow();
        table.SetStep(status_, static_cast<int>(row) + 1, {});
    }
    table.SetFrom(LedTable::Source::kEdited);
    return true;
}

}  // namespace cardwright
