// The line page's state and its rules, without a station or a socket.
#include <gtest/gtest.h>

#include <memory>

#include "cardwork/line_page/line_server.h"
#include "cardwork/line_page/line_state.h"
#include "cardwork/records/stored_record.h"
#include "cardwork/station/station_cards.h"
#include "carvex/platform/clock.h"

namespace linetest {
namespace {

using namespace std::chrono_literals;
using cardwright::CardRecord;
using cardwright::LineState;
using cardwright::SlotState;
using cardwright::SlotView;
using cardwright::WorkResult;
using cardwright::WorkStep;

// A clock the test moves by hand.
class HandClock : public carvex::Clock {
  public:
    std::chrono::steady_clock::time_point SteadyNow() const override { return steady; }
    std::chrono::system_clock::time_point WallNow() const override { return wall; }

    void Advance(std::chrono::seconds by) {
        steady += by;
        wall += by;
    }

    std::chrono::steady_clock::time_point steady{};
    // Noon: the day does not change while the test moves the clock.
    std::chrono::system_clock::time_point wall =
        cardwright::LocalDayStart(std::chrono::system_clock::now()) + 12h;
};

SlotView Slot(const std::string& port, SlotState state, const std::string& text) {
    return {port, "COM" + std::to_string(std::stoi(port.substr(3)) + 1), state, text,
            "356938035643809"};
}

void End(LineState& state, const std::string& port, const WorkResult& result,
         SlotState slot_state = SlotState::kPass) {
    CardRecord record;
    record.port = port;
    record.imei = "356938035643809";
    record.result = result;
    state.CardEnded(Slot(port, slot_state, result.Text()), record, {});
}

TEST(LineStateTest, CardsPerHourCountsTheLastSixtyMinutesAndTheDayCountsByOutcome) {
    const auto clock = std::make_shared<HandClock>();
    const carvex::ScopedClock scoped(clock);
    LineState state({"line-7", "Ana", "settings.ini", "4660"}, {3, 1, 0, 0}, {});
    End(state, "COM12", WorkResult::Done());
    clock->Advance(30min);
    End(state, "COM22", WorkResult::Failed(WorkStep::kWritingItem, "gone"), SlotState::kFail);
    End(state, "COM32", WorkResult::Refused(WorkStep::kCheckingCardType, "no IMEI"),
        SlotState::kFail);
    End(state, "COM12", WorkResult::Refused(WorkStep::kCheckingCardType, "done earlier: unplug it"),
        SlotState::kDoneEarlier);
    auto summary = state.Summary();
    EXPECT_EQ(summary["cards_per_hour"], 3) << "done earlier is no card worked";
    EXPECT_EQ(summary["day"]["passed"], 4);
    EXPECT_EQ(summary["day"]["failed"], 2);
    EXPECT_EQ(summary["day"]["refused"], 1);
    EXPECT_EQ(summary["day"]["done_earlier"], 1);

    clock->Advance(31min);
    EXPECT_EQ(state.Summary()["cards_per_hour"], 2) << "the first card ended over an hour ago";
    clock->Advance(30min);
    EXPECT_EQ(state.Summary()["cards_per_hour"], 0);
}

// A restarted station goes on counting the cards its records show ended in the last hour.
TEST(LineStateTest, CardsPerHourGoesOnOverARestart) {
    const auto clock = std::make_shared<HandClock>();
    const carvex::ScopedClock scoped(clock);
    using cardwright::RecordOutcome;
    const auto ended = [&](std::chrono::minutes ago, std::optional<RecordOutcome> outcome,
                           const std::string& result) {
        cardwright::StoredRecord record;
        record.outcome = outcome;
        record.result = result;
        if (outcome) {
            record.ended = clock->wall - ago;
        }
        return record;
    };
    const std::vector<cardwright::StoredRecord> records = {
        ended(70min, RecordOutcome::kOk, "ok"),
        ended(50min, RecordOutcome::kOk, "ok"),
        ended(10min, RecordOutcome::kRefused,
              "refused: " + std::string(cardwright::StationCards::kDoneEarlier)),
        ended(5min, RecordOutcome::kFailed, "failed at writing: gone"),
        ended(0min, std::nullopt, ""),
    };
    LineState state({}, {}, {}, cardwright::EndsInLastHour(records, clock->wall));
    EXPECT_EQ(state.Summary()["cards_per_hour"], 2);
    clock->Advance(15min);
    EXPECT_EQ(state.Summary()["cards_per_hour"], 1) << "the card of 50 minutes ago left the hour";
}

TEST(LineStateTest, KeepsTheLatestRecordsAndSortsSlotsByNumber) {
    std::vector<cardwright::LineRecord> earlier(60, {"356938035643809", "ok", "ok", "t"});
    earlier.back().result = "latest earlier";
    LineState state({}, {}, earlier);
    state.SlotChanged(Slot("COM102", SlotState::kIdle, "idle"));
    state.SlotChanged(Slot("COM12", SlotState::kIdle, "idle"));
    state.Progress(Slot("COM22", SlotState::kWorking, "Writing 3 of 20: Band"),
                   {WorkStep::kWritingItem, 3, 20, "Band"});
    const auto snapshot = state.Snapshot();
    ASSERT_EQ(snapshot["records"].size(), LineState::kRecordsShown);
    EXPECT_EQ(snapshot["records"].back()["result"], "latest earlier");
    ASSERT_EQ(snapshot["slots"].size(), 3U);
    EXPECT_EQ(snapshot["slots"][0]["port"], "COM12");
    EXPECT_EQ(snapshot["slots"][1]["step"], "writing");
    EXPECT_EQ(snapshot["slots"][1]["item"], 3);
    EXPECT_EQ(snapshot["slots"][1]["items"], 20);
    EXPECT_EQ(snapshot["slots"][2]["port"], "COM102");
    EXPECT_TRUE(snapshot["slots"][2]["step"].is_null());
}

// A client that reads nothing is dropped once its queue is full, and the station's thread never
// waits for it; the others go on receiving. Past the cap, and after EndStreams, none is taken.
TEST(LineStateTest, ASlowClientIsDroppedAndTheCapHolds) {
    LineState state({}, {}, {});
    const auto slow = state.Subscribe(2);
    const auto reader = state.Subscribe(2);
    ASSERT_TRUE(slow && reader);
    EXPECT_EQ(state.Subscribe(2), nullptr);
    for (size_t i = 0; i < LineState::kQueueLimit + 5; ++i) {
        state.SlotChanged(Slot("COM12", SlotState::kIdle, "idle " + std::to_string(i)));
        if (i % 100 == 0) {
            ASSERT_TRUE(reader->Take(0ms));
        }
    }
    EXPECT_TRUE(slow->Dropped());
    EXPECT_EQ(slow->Take(0ms), std::nullopt);
    EXPECT_FALSE(reader->Dropped());
    EXPECT_NE(state.Subscribe(2), nullptr) << "the dropped client's place is free again";

    state.EndStreams();
    const auto ending = std::chrono::steady_clock::now();
    while (reader->Take(10s)) {
    }
    EXPECT_LT(std::chrono::steady_clock::now() - ending, 5s) << "an ended stream does not wait";
    EXPECT_EQ(state.Subscribe(8), nullptr);
}

TEST(LineAddressTest, ParsesAddressesAndTellsLoopback) {
    struct Case {
        std::string text;
        bool valid;
        bool loopback;
    };
    for (const Case& c : std::vector<Case>{{"127.0.0.1:8080", true, true},
                                           {"127.1.2.3:0", true, true},
                                           {"localhost:8080", true, true},
                                           {"[::1]:8080", true, true},
                                           {"0.0.0.0:8080", true, false},
                                           {"192.168.4.20:80", true, false},
                                           {"[::]:8080", true, false},
                                           {"::1:8080", false, false},
                                           {"127.0.0.1", false, false},
                                           {"127.0.0.1:65536", false, false},
                                           {"127.0.0.256:80", false, false},
                                           {"127.0.0:80", false, false},
                                           {"line-pc:8080", false, false},
                                           {"127.0.0.1:80x", false, false}}) {
        const auto address = cardwright::ParseHttpAddress(c.text);
        EXPECT_EQ(address.has_value(), c.valid) << c.text;
        if (address) {
            EXPECT_EQ(address->Loopback(), c.loopback) << c.text;
        }
    }
    EXPECT_EQ(cardwright::ParseHttpAddress("[::1]:8080")->Text(), "[::1]:8080");
    EXPECT_TRUE(cardwright::TokenRefusal("line-7-supervisor-token").empty());
    EXPECT_FALSE(cardwright::TokenRefusal("short").empty());
    EXPECT_FALSE(cardwright::TokenRefusal("a token with blanks in it").empty());
    EXPECT_FALSE(cardwright::TokenRefusal("semicolon;in-the-cookie-value").empty());
}

}  // namespace
}  // namespace linetest
