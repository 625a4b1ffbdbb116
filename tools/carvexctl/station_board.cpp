#include "tools/carvexctl/station_board.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cardwork/batch/utc_text.h"
#include "cardwork/json/json_document.h"
#include "carvex/platform/clock.h"
#include "tools/carvexctl/display_width.h"

namespace carvexctl {

namespace {

using cardwright::Json;

// An event with its name and the wall time it happened at.
Json Event(std::string_view name) {
    Json event;
    event["event"] = name;
    event["time"] = cardwright::UtcText(carvex::GetClock().WallNow());
    return event;
}

void PutSlot(Json& event, const cardwright::SlotView& slot) {
    event["slot"] = slot.port;
    event["modem"] = slot.modem.empty() ? Json(nullptr) : Json(slot.modem);
    event["imei"] = slot.imei.empty() ? Json(nullptr) : Json(slot.imei);
}

Json CountsJson(const cardwright::StationCounts& counts) {
    Json json;
    json["ok"] = counts.ok;
    json["failed"] = counts.failed;
    json["refused"] = counts.refused;
    json["done_earlier"] = counts.done_earlier;
    json["cards_per_hour"] = std::round(counts.cards_per_hour * 10) / 10;
    return json;
}

std::string SlotLabel(const cardwright::SlotView& slot) {
    return slot.modem.empty() ? slot.port : slot.port + "/" + slot.modem;
}

}  // namespace

std::string_view SlotStateName(cardwright::SlotState state) {
    switch (state) {
        case cardwright::SlotState::kIdle:
            return "idle";
        case cardwright::SlotState::kWaiting:
            return "waiting";
        case cardwright::SlotState::kWorking:
            return "working";
        case cardwright::SlotState::kPass:
            return "pass";
        case cardwright::SlotState::kFail:
            return "fail";
        case cardwright::SlotState::kDoneEarlier:
            break;
    }
    return "done_earlier";
}

std::string StationBoard::CountsText(const cardwright::StationCounts& counts) {
    std::array<char, 32> per_hour{};
    std::snprintf(per_hour.data(), per_hour.size(), "%.1f", counts.cards_per_hour);
    return std::to_string(counts.ok) + " ok, " + std::to_string(counts.failed) + " failed, " +
           std::to_string(counts.refused) + " refused, " + std::to_string(counts.done_earlier) +
           " done earlier; " + per_hour.data() + " cards per hour";
}

StationBoard::StationBoard(std::ostream& out, Kind kind, size_t columns)
    : kind_(kind), columns_(std::max<size_t>(columns, 20) - 1), writer_(out) {
    counts_ = CountsText({});
}

void StationBoard::Redraw() {
    size_t width = 0;
    for (const auto& [port, slot] : slots_) {
        width = std::max(width, SlotLabel(slot).size());
    }
    std::vector<std::string> lines;
    for (const auto& [port, slot] : slots_) {
        const std::string label = SlotLabel(slot);
        lines.push_back(label + std::string(width - label.size() + 2, ' ') + slot.text);
    }
    lines.push_back(counts_);
    if (!notice_.empty()) {
        lines.push_back(notice_);
    }
    if (!central_.empty()) {
        lines.push_back(central_);
    }
    for (std::string& line : lines) {
        line = CutToColumns(line, columns_);
    }
    writer_.Draw(std::move(lines));
}

void StationBoard::Changed(const cardwright::SlotView& slot, BoardWriter::Line line) {
    slots_[slot.port] = slot;
    if (kind_ == Kind::kRedrawn) {
        Redraw();
    } else {
        writer_.Print(SlotLabel(slot) + ": " + slot.text + "\n", line);
    }
}

void StationBoard::SlotChanged(const cardwright::SlotView& slot) {
    const std::lock_guard lock(mutex_);
    if (kind_ == Kind::kJson) {
        Json event = Event("slot");
        PutSlot(event, slot);
        event["state"] = SlotStateName(slot.state);
        event["text"] = slot.text;
        writer_.Print(cardwright::JsonLine(event));
        return;
    }
    Changed(slot);
}

void StationBoard::Progress(const cardwright::SlotView& slot,
                            const cardwright::WorkProgress& progress) {
    const std::lock_guard lock(mutex_);
    if (kind_ == Kind::kJson) {
        Json event = Event("progress");
        PutSlot(event, slot);
        event["step"] = cardwright::StepName(progress.step);
        event["item"] = progress.item;
        event["items"] = progress.items;
        event["text"] = slot.text;
        writer_.Print(cardwright::JsonLine(event), BoardWriter::Line::kProgress);
        return;
    }
    const auto shown = slots_.find(slot.port);
    if (shown == slots_.end() || shown->second.text != slot.text) {
        Changed(slot, BoardWriter::Line::kProgress);
    }
}

void StationBoard::CardEnded(const cardwright::SlotView& slot, const cardwright::CardRecord& record,
                             const cardwright::StationCounts& counts) {
    const std::lock_guard lock(mutex_);
    counts_ = CountsText(counts);
    if (kind_ == Kind::kJson) {
        Json event = Event("card");
        PutSlot(event, slot);
        event["state"] = SlotStateName(slot.state);
        event["text"] = slot.text;
        event["uuid"] = record.uuid;
        event["result"] = record.result.Text();
        event["seconds"] = std::round(record.seconds * 10) / 10;
        event["snapshot"] = record.snapshot.empty() ? Json(nullptr) : Json(record.snapshot);
        event["log"] = record.log;
        event["counts"] = CountsJson(counts);
        writer_.Print(cardwright::JsonLine(event));
        return;
    }
    Changed(slot);
    if (kind_ == Kind::kLines) {
        writer_.Print(counts_ + "\n");
    }
}

void StationBoard::Notice(const std::string& text) {
    const std::lock_guard lock(mutex_);
    if (kind_ == Kind::kJson) {
        Json event = Event("notice");
        event["text"] = text;
        writer_.Print(cardwright::JsonLine(event));
        return;
    }
    notice_ = text;
    if (kind_ == Kind::kRedrawn) {
        Redraw();
    } else {
        writer_.Print("carvexctl: " + text + "\n");
    }
}

void StationBoard::Central(const cardwright::ForwarderStatus& status) {
    const std::lock_guard lock(mutex_);
    const std::string text = status.Text();
    if (kind_ == Kind::kJson) {
        Json event = Event("central");
        event["waiting"] = status.waiting;
        event["reason"] = cardwright::TextOrNull(status.reason);
        event["text"] = cardwright::TextOrNull(text);
        writer_.Print(cardwright::JsonLine(event));
        return;
    }
    if (text == central_) {
        return;
    }
    const bool cleared = text.empty();
    central_ = text;
    if (kind_ == Kind::kRedrawn) {
        Redraw();
    } else {
        writer_.Print(
            "carvexctl: " + (cleared ? std::string("central records: none waiting") : text) + "\n");
    }
}

void StationBoard::Stopped(const cardwright::StationCounts& counts) {
    const std::lock_guard lock(mutex_);
    if (kind_ == Kind::kJson) {
        Json event = Event("stopped");
        event["counts"] = CountsJson(counts);
        writer_.Print(cardwright::JsonLine(event));
        return;
    }
    writer_.Print("Stopped: " + CountsText(counts) + "\n");
}

}  // namespace carvexctl
