// The pieces of a station that need no card: which plug is a new card, what the records say was
// done before, the hooks run through the shell, the disk's room and the board's lines.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>
#include <thread>

#include "cardwork/json/json_document.h"
#include "cardwork/records/record_store.h"
#include "cardwork/station/station.h"
#include "cardwork/station/station_slots.h"
#include "carvex/platform/hook_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"
#include "tools/carvexctl/station_board.h"

namespace cardwright {
namespace {

using namespace std::chrono_literals;

TEST(StationSlots, ARestartIsNoNewCardAPullDuringTheWorkIsAndAnEndedCardWaitsToBeUnplugged) {
    StationSlots slots;
    slots.Listed({12, 22});
    EXPECT_EQ(slots.NextWaiting(), 12);
    slots.Begin(12);
    EXPECT_EQ(slots.NextWaiting(), 22);
    slots.Begin(22);

    // Card 12 goes and comes back during its restart: the same card.
    slots.Step(12, WorkStep::kRestarting);
    slots.Listed({22});
    slots.Step(12, WorkStep::kAwaitingReturn);
    slots.Listed({12, 22});
    EXPECT_FALSE(slots.Pulled(12));
    slots.End(12, SlotState::kPass);
    EXPECT_EQ(slots.StateOf(12), SlotState::kPass);
    slots.Listed({12, 22});
    EXPECT_FALSE(slots.NextWaiting()) << "a card whose work ended is no new plug";

    // Card 22 is pulled out while it is written and plugged in again before its work ends.
    slots.Step(22, WorkStep::kWritingItem);
    slots.Listed({12});
    EXPECT_TRUE(slots.Pulled(22));
    slots.Listed({12, 22});
    slots.End(22, SlotState::kFail);
    EXPECT_EQ(slots.StateOf(22), SlotState::kWaiting);
    EXPECT_EQ(slots.NextWaiting(), 22);

    // Unplugged, the ended card's slot is idle; plugged in, a new card waits.
    slots.Listed({22});
    EXPECT_EQ(slots.StateOf(12), SlotState::kIdle);
    slots.Listed({12, 22});
    EXPECT_EQ(slots.StateOf(12), SlotState::kWaiting);
    EXPECT_EQ(slots.Working(), 0U);

    // A card that is gone when its work ends leaves its slot idle; one that went while it
    // waited is no longer waited for.
    slots.Begin(22);
    slots.Listed({12});
    slots.End(22, SlotState::kFail);
    EXPECT_EQ(slots.StateOf(22), SlotState::kIdle);
    slots.Listed({});
    EXPECT_FALSE(slots.NextWaiting());
}

StoredRecord Attempt(const std::string& imei, const std::string& sha, const WorkResult& result,
                     const std::string& step, const std::string& snapshot, size_t written) {
    StoredRecord record;
    record.imei = imei;
    record.port = "COM12";
    record.setting_sha256 = sha;
    record.started = std::chrono::system_clock::now();
    record.snapshot = snapshot;
    record.nv_written = written;
    record.End(result);
    record.step = step;
    return record;
}

TEST(StationRecords, TellWhatWasDoneBeforeWithTheSameFile) {
    const testsupport::TempDir dir;
    RecordStore store(dir.Path() / "records.db");
    const std::string file_a(64, 'a');
    const std::string file_b(64, 'b');
    const auto keep = [&](StoredRecord record) {
        StoredRecord begun = record;
        begun.result.clear();
        begun.outcome.reset();
        store.Begin(begun);
        record.uuid = begun.uuid;
        store.Complete(record);
    };
    // Gone during the write: its snapshot is the card as it was; a refusal by the hook after
    // it (which took a snapshot of the written card) does not replace it.
    keep(Attempt("356789012345678", file_a, WorkResult::Failed(WorkStep::kWritingItem, "gone"),
                 "writing", "/s/first.json", 4));
    keep(Attempt("356789012345678", file_a,
                 WorkResult::Refused(WorkStep::kTakingSnapshot, "refused by the before-hook"),
                 "snapshot", "/s/second.json", 0));
    EXPECT_EQ(store.SnapshotBeforeUnfinishedWrite("356789012345678", file_a), "/s/first.json");
    EXPECT_EQ(store.SnapshotBeforeUnfinishedWrite("356789012345678", file_b), "");
    EXPECT_FALSE(store.HasOk("356789012345678", file_a));
    // A prune must keep that snapshot, and the one of a card being worked now.
    StoredRecord working =
        Attempt("356789012345680", file_a, WorkResult::Done(), "writing", "/s/third.json", 2);
    working.result.clear();
    working.outcome.reset();
    store.Begin(working);
    EXPECT_EQ(store.SnapshotsOfUnfinishedWrites(),
              (std::vector<std::string>{"/s/first.json", "/s/third.json"}));

    keep(Attempt("356789012345678", file_a, WorkResult::Done(), "", "/s/first.json", 11));
    EXPECT_TRUE(store.HasOk("356789012345678", file_a));
    EXPECT_FALSE(store.HasOk("356789012345678", file_b)) << "another file";
    EXPECT_FALSE(store.HasOk("356789012345680", file_a)) << "another card";
    EXPECT_EQ(store.SnapshotBeforeUnfinishedWrite("356789012345678", file_a), "")
        << "after an ok write a new attempt takes its own snapshot";
    EXPECT_EQ(store.SnapshotsOfUnfinishedWrites(), std::vector<std::string>{"/s/third.json"});
}

TEST(HookProcess, GivesTheEnvironmentAndInputAndTellsHowItEnded) {
    const testsupport::TempDir dir;
    const std::filesystem::path marker = dir.Path() / "started";
    const carvex::HookEnd ok =
        carvex::RunHook("read -r line; test \"$line\" = '{\"a\":1}' && test \"$CARVEX_IMEI\" = 7",
                        {"CARVEX_IMEI=7"}, "{\"a\":1}\n", 10s);
    EXPECT_TRUE(ok.Succeeded()) << ok.Words(10s) << ok.standard_error;

    const carvex::HookEnd refused = carvex::RunHook(
        "echo 'no labels left' >&2; echo second >&2; exit 3", {}, std::string(1 << 20, 'x'), 10s);
    EXPECT_EQ(refused.how, carvex::HookEnd::How::kExited);
    EXPECT_EQ(refused.exit_code, 3);
    EXPECT_EQ(refused.FirstErrorLine(), "no labels left")
        << "a hook that reads no input is not held up by it";

    // The card's text is never part of the command.
    const carvex::HookEnd quoted = carvex::RunHook("test \"$CARVEX_MODEL\" = 'LW; rm -rf /'",
                                                   {"CARVEX_MODEL=LW; rm -rf /"}, {}, 10s);
    EXPECT_TRUE(quoted.Succeeded());

    // A descriptor the program left open across exec (a card's log) is not the hook's.
    const int open_here = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(open_here, 3);
    const carvex::HookEnd closed = carvex::RunHook(
        "test ! -e /proc/$$/fd/" + std::to_string(open_here) + " && test -e /proc/$$/fd/2", {}, {},
        10s);
    ::close(open_here);
    EXPECT_TRUE(closed.Succeeded()) << closed.Words(10s);

    const auto started = std::chrono::steady_clock::now();
    const carvex::HookEnd hung = carvex::RunHook("sleep 600 & sleep 600", {}, {}, 300ms);
    EXPECT_EQ(hung.how, carvex::HookEnd::How::kTimedOut);
    EXPECT_EQ(hung.Words(2s), "killed after 2 s");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s)
        << "what the hook started does not keep it waiting";

    // Broken off: the hook running is killed, and so is each one begun after.
    carvex::HookBreaker breaker;
    std::thread breaking([&] {
        EXPECT_TRUE(testsupport::WaitUntil([&] { return std::filesystem::exists(marker); }));
        breaker.BreakOff();
    });
    const carvex::HookEnd broken =
        carvex::RunHook("touch " + marker.string() + "; sleep 600", {}, {}, 600s, &breaker);
    breaking.join();
    EXPECT_EQ(broken.how, carvex::HookEnd::How::kBrokenOff);
    EXPECT_EQ(carvex::RunHook("sleep 600", {}, {}, 600s, &breaker).Words(600s),
              "killed: broken off");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
}

TEST(StationDisk, SaysWhichFolderHasTooLittleRoom) {
    const testsupport::TempDir dir;
    const std::vector<std::pair<std::string, std::filesystem::path>> folders = {
        {"records", dir.Path()}, {"snapshots", dir.Path() / "not" / "made" / "yet"}};
    EXPECT_EQ(LowDiskSpace(folders, 0), "");
    const std::string low = LowDiskSpace({folders[1]}, UINT64_MAX);
    EXPECT_TRUE(low.find("free in " + (dir.Path() / "not" / "made" / "yet").string() +
                         " (snapshots), less than ") != std::string::npos)
        << low;
}

TEST(StationBoard, PrintsALinePerChangeOrAJsonObjectPerEvent) {
    SlotView slot{.port = "COM12",
                  .modem = "COM13",
                  .state = SlotState::kWorking,
                  .text = "Writing 3 of 20: Band",
                  .imei = "356789012345678"};
    std::ostringstream lines;
    carvexctl::StationBoard plain(lines, carvexctl::StationBoard::Kind::kLines);
    plain.SlotChanged(slot);
    CardRecord record;
    record.result = WorkResult::Failed(WorkStep::kWritingItem, "gone");
    slot.state = SlotState::kFail;
    slot.text = record.result.Text();
    plain.CardEnded(slot, record, {.ok = 3, .failed = 1, .cards_per_hour = 41.25});
    plain.Drain();
    EXPECT_EQ(lines.str(),
              "COM12/COM13: Writing 3 of 20: Band\n"
              "COM12/COM13: failed at writing: gone\n"
              "3 ok, 1 failed, 0 refused, 0 done earlier; 41.2 cards per hour\n");

    std::ostringstream json;
    carvexctl::StationBoard events(json, carvexctl::StationBoard::Kind::kJson);
    events.CardEnded(slot, record, {.ok = 3, .failed = 1});
    events.Notice("no new card is started");
    events.Drain();
    const std::string text = json.str();
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    const auto first = ParseJson(text.substr(0, text.find('\n')));
    ASSERT_TRUE(first.value) << first.error;
    EXPECT_EQ((*first.value)["event"], "card");
    EXPECT_EQ((*first.value)["state"], "fail");
    EXPECT_EQ((*first.value)["result"], "failed at writing: gone");
    EXPECT_EQ((*first.value)["text"], "failed at writing: gone");
    EXPECT_EQ((*first.value)["counts"]["failed"], 1);
}

}  // namespace
}  // namespace cardwright
