#include "cardwork/line_page/line_state.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>

#include "cardwork/batch/utc_text.h"
#include "cardwork/station/station_cards.h"
#include "carvex/platform/clock.h"

namespace cardwright {

namespace {

constexpr std::chrono::hours kPerHourWindow{1};

std::string_view StateName(SlotState state) {
    switch (state) {
        case SlotState::kIdle:
            return "idle";
        case SlotState::kWaiting:
            return "waiting";
        case SlotState::kWorking:
            return "working";
        case SlotState::kPass:
            return "pass";
        case SlotState::kFail:
            return "fail";
        case SlotState::kDoneEarlier:
            break;
    }
    return "done_earlier";
}

Json CountsJson(const LineCounts& counts) {
    Json json;
    json["passed"] = counts.passed;
    json["failed"] = counts.failed;
    json["refused"] = counts.refused;
    json["done_earlier"] = counts.done_earlier;
    return json;
}

Json RecordJson(const LineRecord& record) {
    Json json;
    json["imei"] = TextOrNull(record.imei);
    json["result"] = record.result;
    json["outcome"] = record.outcome;
    json["time"] = record.time;
    return json;
}

// "COM12" -> 12, so that COM9 comes before COM12.
size_t ComNumber(const std::string& port) {
    size_t number = 0;
    for (const char c : port) {
        if (c >= '0' && c <= '9') {
            number = number * 10 + static_cast<size_t>(c - '0');
        }
    }
    return number;
}

std::tm LocalTime(std::chrono::system_clock::time_point now) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return local;
}

}  // namespace

LineCounts CountsOf(const std::vector<StoredRecord>& records) {
    const std::string done_earlier = "refused: " + std::string(StationCards::kDoneEarlier);
    LineCounts counts;
    for (const StoredRecord& record : records) {
        if (!record.outcome) {
            continue;  // still being worked
        }
        if (*record.outcome == RecordOutcome::kOk) {
            ++counts.passed;
        } else if (*record.outcome == RecordOutcome::kRefused) {
            ++(record.result == done_earlier ? counts.done_earlier : counts.refused);
        } else {
            ++counts.failed;
        }
    }
    return counts;
}

std::vector<std::chrono::system_clock::time_point> EndsInLastHour(
    const std::vector<StoredRecord>& records, std::chrono::system_clock::time_point now) {
    const std::string done_earlier = "refused: " + std::string(StationCards::kDoneEarlier);
    std::vector<std::chrono::system_clock::time_point> ends;
    for (const StoredRecord& record : records) {
        if (record.outcome && record.ended && record.result != done_earlier &&
            *record.ended <= now && now - *record.ended <= kPerHourWindow) {
            ends.push_back(*record.ended);
        }
    }
    std::sort(ends.begin(), ends.end());
    return ends;
}

LineRecord LineRecordOf(const StoredRecord& record) {
    return {record.imei, record.outcome ? record.result : "in progress",
            record.outcome ? std::string(OutcomeName(*record.outcome)) : "in_progress",
            UtcText(record.ended.value_or(record.started))};
}

std::chrono::system_clock::time_point LocalDayStart(std::chrono::system_clock::time_point now) {
    std::tm local = LocalTime(now);
    local.tm_hour = 0;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_isdst = -1;  // midnight may be on the other side of a change of the clocks
    return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

std::string LocalDayText(std::chrono::system_clock::time_point now) {
    const std::tm local = LocalTime(now);
    std::array<char, 16> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%d", &local);
    return text.data();
}

void EventQueue::Push(const std::string& event) {
    {
        const std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        if (events_.size() >= limit_) {
            closed_ = true;
            dropped_ = true;
            events_.clear();
        } else {
            events_.push_back(event);
        }
    }
    changed_.notify_one();
}

std::optional<std::vector<std::string>> EventQueue::Take(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, wait, [this] { return closed_ || !events_.empty(); });
    if (events_.empty() && closed_) {
        return std::nullopt;
    }
    std::vector<std::string> taken(std::make_move_iterator(events_.begin()),
                                   std::make_move_iterator(events_.end()));
    events_.clear();
    return taken;
}

void EventQueue::Close() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

bool EventQueue::Dropped() const {
    const std::lock_guard lock(mutex_);
    return dropped_;
}

LineState::LineState(LineFacts facts, LineCounts day, std::vector<LineRecord> recent,
                     const std::vector<std::chrono::system_clock::time_point>& ended)
    : facts_(std::move(facts)),
      day_(day),
      day_text_(LocalDayText(carvex::GetClock().WallNow())),
      recent_(recent.begin(), recent.end()) {
    while (recent_.size() > kRecordsShown) {
        recent_.pop_front();
    }
    // Cards per hour is kept on the steady clock; an earlier end is as far back on it as it is
    // on the wall clock.
    const auto wall = carvex::GetClock().WallNow();
    const auto steady = carvex::GetClock().SteadyNow();
    for (const auto when : ended) {
        ends_.push_back(
            steady - std::chrono::duration_cast<std::chrono::steady_clock::duration>(wall - when));
    }
}

std::string LineState::EventText(std::string_view name, const Json& data) {
    // JsonLine ends with the line break that ends the data line.
    return "event: " + std::string(name) + "\ndata: " + JsonLine(data) + "\n";
}

void LineState::Publish(std::string_view name, const Json& data) {
    if (clients_.empty()) {
        return;
    }
    const std::string event = EventText(name, data);
    for (const auto& client : clients_) {
        client->Push(event);
    }
    std::erase_if(clients_, [](const auto& client) { return client->Dropped(); });
}

LineState::Slot& LineState::SlotOf(const SlotView& view) {
    Slot& slot = slots_[{ComNumber(view.port), view.port}];
    slot.view = view;
    return slot;
}

Json LineState::SlotJson(const Slot& slot) const {
    Json json;
    json["port"] = slot.view.port;
    json["modem"] = TextOrNull(slot.view.modem);
    json["state"] = StateName(slot.view.state);
    json["text"] = slot.view.text;
    json["imei"] = TextOrNull(slot.view.imei);
    const bool working = slot.view.state == SlotState::kWorking;
    json["step"] = working ? TextOrNull(slot.step) : Json(nullptr);
    json["item"] = working && slot.items > 0 ? Json(slot.item) : Json(nullptr);
    json["items"] = working && slot.items > 0 ? Json(slot.items) : Json(nullptr);
    return json;
}

void LineState::SlotChanged(const SlotView& view) {
    const std::lock_guard lock(mutex_);
    Slot& slot = SlotOf(view);
    if (view.state != SlotState::kWorking) {
        slot.step.clear();
        slot.item = slot.items = 0;
    }
    Publish("slot", SlotJson(slot));
}

void LineState::Progress(const SlotView& view, const WorkProgress& progress) {
    const std::lock_guard lock(mutex_);
    Slot& slot = SlotOf(view);
    slot.step = StepName(progress.step);
    slot.item = progress.item;
    slot.items = progress.items;
    Publish("slot", SlotJson(slot));
}

void LineState::CardEnded(const SlotView& view, const CardRecord& record,
                          const StationCounts& counts) {
    const std::lock_guard lock(mutex_);
    Slot& slot = SlotOf(view);
    slot.step.clear();
    slot.item = slot.items = 0;
    run_ = {counts.ok, counts.failed, counts.refused, counts.done_earlier};

    const auto wall = carvex::GetClock().WallNow();
    if (const std::string today = LocalDayText(wall); today != day_text_) {
        day_text_ = today;
        day_ = {};
    }
    LineRecord line{record.imei, record.result.Text(),
                    std::string(OutcomeName(OutcomeOf(record.result.outcome))), UtcText(wall)};
    if (view.state == SlotState::kDoneEarlier) {
        ++day_.done_earlier;
    } else {
        ++(record.result.Ok()                               ? day_.passed
           : record.result.outcome == WorkOutcome::kRefused ? day_.refused
                                                            : day_.failed);
        ends_.push_back(carvex::GetClock().SteadyNow());
    }
    recent_.push_back(line);
    if (recent_.size() > kRecordsShown) {
        recent_.pop_front();
    }
    Publish("slot", SlotJson(slot));
    Publish("record", RecordJson(line));
    Publish("summary", SummaryLocked());
}

void LineState::Notice(const std::string& text) {
    const std::lock_guard lock(mutex_);
    notice_ = text;
    Json data;
    data["text"] = text;
    Publish("notice", data);
}

Json LineState::SummaryLocked() {
    const auto now = carvex::GetClock().SteadyNow();
    while (!ends_.empty() && now - ends_.front() > kPerHourWindow) {
        ends_.pop_front();
    }
    if (const std::string today = LocalDayText(carvex::GetClock().WallNow()); today != day_text_) {
        day_text_ = today;
        day_ = {};
    }
    Json json;
    json["run"] = CountsJson(run_);
    Json day = CountsJson(day_);
    day["date"] = day_text_;
    json["day"] = day;
    json["cards_per_hour"] = ends_.size();
    return json;
}

Json LineState::Summary() {
    const std::lock_guard lock(mutex_);
    return SummaryLocked();
}

Json LineState::Snapshot() {
    const std::lock_guard lock(mutex_);
    return SnapshotLocked();
}

Json LineState::SnapshotLocked() {
    Json json;
    json["station"] = TextOrNull(facts_.station);
    json["operator"] = TextOrNull(facts_.operator_name);
    Json file;
    file["name"] = facts_.setting_file;
    file["crc"] = TextOrNull(facts_.setting_crc);
    json["setting_file"] = file;
    Json slots = Json::array();
    for (const auto& [key, slot] : slots_) {
        slots.push_back(SlotJson(slot));
    }
    json["slots"] = slots;
    const Json summary = SummaryLocked();
    for (const auto& [name, value] : summary.items()) {
        json[name] = value;
    }
    Json records = Json::array();
    for (const LineRecord& record : recent_) {
        records.push_back(RecordJson(record));
    }
    json["records"] = records;
    json["notice"] = TextOrNull(notice_);
    json["stopping"] = ended_;
    return json;
}

std::shared_ptr<EventQueue> LineState::Subscribe(size_t max_clients) {
    const std::lock_guard lock(mutex_);
    if (ended_ || clients_.size() >= max_clients) {
        return nullptr;
    }
    auto queue = std::make_shared<EventQueue>(kQueueLimit);
    // Under the same lock as the events that follow it: none falls between.
    queue->Push(EventText("snapshot", SnapshotLocked()));
    clients_.push_back(queue);
    return queue;
}

void LineState::Unsubscribe(const std::shared_ptr<EventQueue>& queue) {
    const std::lock_guard lock(mutex_);
    std::erase(clients_, queue);
}

void LineState::EndStreams() {
    const std::lock_guard lock(mutex_);
    ended_ = true;
    for (const auto& client : clients_) {
        client->Close();
    }
    clients_.clear();
}

bool LineState::StreamsEnded() const {
    const std::lock_guard lock(mutex_);
    return ended_;
}

}  // namespace cardwright
