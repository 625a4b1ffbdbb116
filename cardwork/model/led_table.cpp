#include "cardwork/model/led_table.h"

namespace cardwright {

namespace {

constexpr size_t kStepBytes = 2;
constexpr size_t kStatusBytes = kStepBytes * kLedSteps;

// Colour codes 2 to 8 and their NV bits (bit 0 blue, bit 1 green, bit 2 red).
constexpr std::array<uint8_t, 9> kNvBits{0, 0, 1, 2, 4, 3, 6, 5, 7};

bool ValidStatus(int status) {
    return status >= 1 && status <= kLedStatuses;
}

bool ValidStep(int step) {
    return step >= 1 && step <= kLedSteps;
}

size_t StepOffset(int status, int step) {
    return kStatusBytes * static_cast<size_t>((status - 1) % kLedStatusesPerItem) +
           kStepBytes * static_cast<size_t>(step - 1);
}

}  // namespace

uint8_t ToNvLedColor(int code) {
    return code >= 2 && code <= 8 ? kNvBits[static_cast<size_t>(code)] : 0;
}

uint8_t FromNvLedColor(uint8_t bits) {
    for (size_t code = 2; code < kNvBits.size(); ++code) {
        if (bits != 0 && kNvBits[code] == bits) {
            return static_cast<uint8_t>(code);
        }
    }
    return 1;
}

std::string LedColorName(int code) {
    static constexpr std::array<std::string_view, 8> kNames{"Off",  "Blue",    "Green",  "Red",
                                                            "Cyan", "Yeallow", "Violet", "White"};
    return code >= 1 && code <= 8 ? std::string(kNames[static_cast<size_t>(code - 1)]) : "--";
}

const std::array<std::string_view, 8>& LedColorEntries() {
    static constexpr std::array<std::string_view, 8> kEntries{"灭",   "蓝色", "绿色", "红色",
                                                              "青色", "黄色", "紫色", "白色"};
    return kEntries;
}

const std::array<std::string_view, kLedStatuses>& LedStatusCaptions() {
    static constexpr std::array<std::string_view, kLedStatuses> kCaptions{
        "搜网",        "注册上G", "注册上W",     "G网数据业务",
        "W网数据业务", "HSDPA",   "Lpm/Offline", "设备被删除"};
    return kCaptions;
}

std::string BadLedTime::Message() const {
    return "LED status " + std::to_string(status) + " (" +
           std::string(LedStatusCaptions()[static_cast<size_t>(status - 1)]) + ") step " +
           std::to_string(step) + ": time " + std::to_string(time) +
           " cannot be kept by the card (0 to 255)...";
}

const LedStep& LedTable::Step(int status, int step) const {
    static const LedStep kNoStep;
    if (!ValidStatus(status) || !ValidStep(step)) {
        return kNoStep;
    }
    return steps_[static_cast<size_t>(status - 1)][static_cast<size_t>(step - 1)];
}

void LedTable::SetStep(int status, int step, LedStep value) {
    if (ValidStatus(status) && ValidStep(step)) {
        steps_[static_cast<size_t>(status - 1)][static_cast<size_t>(step - 1)] = value;
    }
}

void LedTable::Clear() {
    steps_ = {};
    source_ = Source::kNone;
}

std::optional<NvData> LedTable::Pack(int item) const {
    NvData data{};
    for (int s = 1; s <= kLedStatusesPerItem; ++s) {
        const int status = item * kLedStatusesPerItem + s;
        for (int t = 1; t <= kLedSteps; ++t) {
            const LedStep& step = Step(status, t);
            if (step.time < -1 || step.time > kLedMaxTime) {
                return std::nullopt;
            }
            const size_t at = StepOffset(status, t);
            data[at] = ToNvLedColor(step.colour);
            data[at + 1] = static_cast<uint8_t>(step.time < 0 ? 0 : step.time);
        }
    }
    return data;
}

void LedTable::Unpack(int item, std::span<const uint8_t> data) {
    for (int s = 1; s <= kLedStatusesPerItem; ++s) {
        const int status = item * kLedStatusesPerItem + s;
        for (int t = 1; t <= kLedSteps; ++t) {
            const size_t at = StepOffset(status, t);
            if (at + 1 < data.size()) {
                SetStep(status, t, {FromNvLedColor(data[at]), data[at + 1]});
            }
        }
    }
}

std::optional<BadLedTime> LedTable::FindBadTime() const {
    for (int status = 1; status <= kLedStatuses; ++status) {
        for (int t = 1; t <= kLedSteps; ++t) {
            const int32_t time = Step(status, t).time;
            if (time < -1 || time > kLedMaxTime) {
                return BadLedTime{status, t, time};
            }
        }
    }
    return std::nullopt;
}

std::string LedTable::Line(int status) const {
    std::string line;
    for (int t = 1; t <= kLedSteps; ++t) {
        const LedStep& step = Step(status, t);
        line += std::to_string(step.colour) + "," + std::to_string(step.time) + "|";
    }
    return line;
}

void LedTable::SetLine(int status, std::string_view line) {
    const auto fields = SplitList(line, '|');
    for (int t = 1; t <= kLedSteps; ++t) {
        const size_t index = static_cast<size_t>(t - 1);
        const auto parts = index < fields.size() ? SplitList(fields[index]) : decltype(fields){};
        const int32_t colour = parts.empty() ? 0 : ParseDecimal(parts[0]).value_or(0);
        const int32_t time = parts.size() < 2 ? 0 : ParseDecimal(parts[1]).value_or(0);
        SetStep(status, t, {static_cast<uint8_t>(colour >= 1 && colour <= 8 ? colour : 0), time});
    }
}

}  // namespace cardwright
