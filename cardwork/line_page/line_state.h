#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cardwork/json/json_document.h"
#include "cardwork/records/stored_record.h"
#include "cardwork/station/station_listener.h"

namespace cardwright {

// What the line page says of the run beside its slots.
struct LineFacts {
    std::string station;
    std::string operator_name;
    std::string setting_file;  // its name, without the folder
    std::string setting_crc;   // as the file's [CRC] section holds it
};

// Cards by how their work ended. Done earlier is no card worked, and counts apart.
struct LineCounts {
    size_t passed = 0;
    size_t failed = 0;  // failed, a read-back that differs, broken off
    size_t refused = 0;
    size_t done_earlier = 0;
};

// A card's end as the page lists it.
struct LineRecord {
    std::string imei;
    std::string result;   // "ok", "failed at writing: gone"
    std::string outcome;  // "ok", "refused", "failed", ...
    std::string time;     // when it ended (begun, for a record in progress), UTC
};

// The day's counts as the records give them (the done-earlier refusals apart), and a record as
// the page lists it.
LineCounts CountsOf(const std::vector<StoredRecord>& records);
// When the cards that count for cards per hour ended (not the done-earlier ones), for those of
// `records` that ended in the hour before `now`.
std::vector<std::chrono::system_clock::time_point> EndsInLastHour(
    const std::vector<StoredRecord>& records, std::chrono::system_clock::time_point now);
LineRecord LineRecordOf(const StoredRecord& record);
// The first moment of the local day `now` is in, and that day as "2026-03-14".
std::chrono::system_clock::time_point LocalDayStart(std::chrono::system_clock::time_point now);
std::string LocalDayText(std::chrono::system_clock::time_point now);

// The events one client of the event stream has not taken yet, each a whole Server-Sent Event.
// A client that lets more than `limit` of them pile up is dropped: the card threads that publish
// never wait for a slow reader, and the page, reconnecting, starts from a fresh snapshot.
class EventQueue {
  public:
    explicit EventQueue(size_t limit) : limit_(limit) {}

    // Adds an event; over the limit the queue is closed instead.
    void Push(const std::string& event);
    // The events waiting, after waiting up to `wait` for one; nullopt once the queue is closed
    // (by End, or dropped) and emptied.
    std::optional<std::vector<std::string>> Take(std::chrono::milliseconds wait);
    void Close();
    bool Dropped() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> events_;
    size_t limit_;
    bool closed_ = false;
    bool dropped_ = false;
};

// What the line page shows of a station: a copy of its slots, counts (the run's and the local
// day's), cards per hour over the last hour and the latest records, kept by listening to the
// station, and handed out as JSON. Each change is published to the clients of the event stream.
// The station calls it from its cards' threads at once; the page's handlers read copies.
class LineState : public StationListener {
  public:
    static constexpr size_t kRecordsShown = 50;
    static constexpr size_t kQueueLimit = 512;

    // `day` and `recent` (oldest first) as the records held them at the start; `ended`, the ends
    // of the last hour's cards before it, so that cards per hour goes on over a restart.
    LineState(LineFacts facts, LineCounts day, std::vector<LineRecord> recent,
              const std::vector<std::chrono::system_clock::time_point>& ended = {});

    void SlotChanged(const SlotView& slot) override;
    void Progress(const SlotView& slot, const WorkProgress& progress) override;
    void CardEnded(const SlotView& slot, const CardRecord& record,
                   const StationCounts& counts) override;
    void Notice(const std::string& text) override;

    // Never changed after the start.
    const LineFacts& Facts() const { return facts_; }
    // Everything the page shows, as /api/slots gives it.
    Json Snapshot();
    // The counts and cards per hour, as a "summary" event gives them.
    Json Summary();

    // A new client of the event stream, its queue beginning with a snapshot; nullptr when
    // `max_clients` are listening already or the streams have ended.
    std::shared_ptr<EventQueue> Subscribe(size_t max_clients);
    void Unsubscribe(const std::shared_ptr<EventQueue>& queue);
    // Ends every event stream, and refuses new ones (the station is stopping).
    void EndStreams();
    bool StreamsEnded() const;

    // "event: NAME\ndata: JSON\n\n".
    static std::string EventText(std::string_view name, const Json& data);

  private:
    struct Slot {
        SlotView view;
        std::string step;  // the step's name while working ("writing")
        size_t item = 0;
        size_t items = 0;
    };

    // Under mutex_.
    void Publish(std::string_view name, const Json& data);
    Json SlotJson(const Slot& slot) const;
    Json SummaryLocked();
    Json SnapshotLocked();
    Slot& SlotOf(const SlotView& view);

    mutable std::mutex mutex_;
    const LineFacts facts_;
    std::map<std::pair<size_t, std::string>, Slot> slots_;  // by COM number, then name
    LineCounts run_;
    LineCounts day_;
    std::string day_text_;
    std::deque<std::chrono::steady_clock::time_point> ends_;  // in the last hour
    std::deque<LineRecord> recent_;
    std::string notice_;  // what the station said last
    std::vector<std::shared_ptr<EventQueue>> clients_;
    bool ended_ = false;
};

}  // namespace cardwright
