// carvexctl station as a line runs it: a real station process, simulated cards plugged into it
// and pulled out one after another, at the cards' real timings.
#include <algorithm>
#include <filesystem>
#include <mutex>
#include <thread>

#include "cardwork/batch/run_folder.h"
#include "cardwork/records/sqlite_database.h"
#include "cardwork/station/station.h"
#include "tests/station/station_fixture.h"
#include "tests/support/fake_modem_manager.h"
#include "tests/support/private_bus.h"
#include "tests/support/wait_until.h"

namespace stationtest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

size_t Count(const std::vector<cardwright::StoredRecord>& records, std::string_view result) {
    return static_cast<size_t>(std::count_if(records.begin(), records.end(),
                                             [&](const auto& r) { return r.result == result; }));
}

// Cards plugged in one after another are each written once and recorded; the restart of each
// is no new card; a card plugged in again is not written again, unless --again-imei names it.
TEST_F(StationTest, WritesEachCardOnceAndNotAgainWhenReplugged) {
    Plug(1);
    {
        auto station = Start();
        ASSERT_TRUE(station->ReachStep("COM12", "reading"));
        bench_->Plug({});  // the second card, while the first is worked
        auto first = station->NextCard();
        auto second = station->NextCard();
        ASSERT_TRUE(first && second);
        EXPECT_EQ((*first)["result"], "ok") << first->dump();
        EXPECT_EQ((*second)["result"], "ok") << second->dump();
        EXPECT_EQ(Card(1).Resets(), 1);
        EXPECT_EQ(Card(2).Resets(), 1);
        EXPECT_EQ(Card(1).Nv(60000)->at(0), 9);

        const size_t writes = NvWrites(1);
        bench_->Unplug(1);
        bench_->Replug(1);
        auto again = station->NextCard("COM12");
        ASSERT_TRUE(again);
        EXPECT_EQ((*again)["state"], "done_earlier");
        EXPECT_EQ((*again)["result"], "refused: done earlier: unplug it");
        EXPECT_EQ((*again)["text"], "done earlier: unplug it");
        EXPECT_EQ(NvWrites(1), writes) << "a card done earlier is not written";

        station->Signal(SIGTERM);
        const auto stopped = station->Next("stopped");
        ASSERT_TRUE(stopped);
        EXPECT_EQ((*stopped)["counts"]["ok"], 2);
        EXPECT_EQ((*stopped)["counts"]["done_earlier"], 1);
        EXPECT_EQ(station->Wait(), 0);
    }
    const auto records = StoredRecords();
    ASSERT_EQ(records.size(), 3U);
    EXPECT_EQ(Count(records, "ok"), 2U);
    EXPECT_EQ(records[0].station, "line-7");

    // Another day: the second card is to be written again, the first is not.
    auto station = Start({"--again-imei", Imei(2)});
    std::map<std::string, Json> ended;
    for (int card = 0; card < 2; ++card) {
        auto event = station->NextCard();
        ASSERT_TRUE(event);
        ended[(*event)["slot"]] = *event;
    }
    EXPECT_EQ(ended["COM12"]["state"], "done_earlier");
    EXPECT_EQ(ended["COM22"]["result"], "ok");
    EXPECT_EQ(Card(1).Resets(), 1);
    EXPECT_EQ(Card(2).Resets(), 2);
    station->Signal(SIGTERM);
    EXPECT_EQ(station->Wait(), 0);
}

// A card pulled out while it is written is recorded gone and its slot freed; plugged in again,
// it is written again, with the snapshot of the card as it was before the first attempt.
TEST_F(StationTest, ACardPulledOutDuringItsWriteIsGoneThenWorkedAgain) {
    Plug(1);
    auto station = Start();
    // Pulled once the card has taken the first item (the second is asked for only then): what
    // was written stays there. (Items left at their defaults are reported as they are passed,
    // but not sent.)
    ASSERT_TRUE(station->ReachStep("COM12", "writing"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return NvWrites(1) > 1; }, std::chrono::seconds(60)));
    bench_->Unplug(1);
    auto gone = station->NextCard("COM12");
    ASSERT_TRUE(gone);
    EXPECT_EQ((*gone)["result"], "failed at writing: gone");
    EXPECT_EQ((*gone)["text"], "failed at writing: gone");
    EXPECT_NE(testsupport::Contents((*gone)["log"].get<std::string>())
                  .find("What was written before the write failed stays on the card"),
              std::string::npos);
    const auto idle = station->Next("slot");
    ASSERT_TRUE(idle);
    EXPECT_EQ((*idle)["state"], "idle");

    bench_->Replug(1);
    auto worked = station->NextCard("COM12");
    ASSERT_TRUE(worked);
    EXPECT_EQ((*worked)["result"], "ok") << worked->dump();
    EXPECT_EQ((*worked)["snapshot"], (*gone)["snapshot"])
        << "the first attempt wrote to the card: its snapshot is the card as it was";
    size_t snapshots = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Snapshots())) {
        ++snapshots;
    }
    EXPECT_EQ(snapshots, 1U);
    station->Signal(SIGTERM);
    EXPECT_EQ(station->Wait(), 1) << "a card failed during the run";
}

// The before-hook refuses a card by its IMEI, which it finds in its environment, and that card
// is not written; the after-hook is given each committed record, and what it came to is kept.
TEST_F(StationTest, HooksRefuseACardAndAreGivenTheRecords) {
    Plug(2);
    const fs::path hooks = dir_.Path() / "hooks";
    fs::create_directories(hooks);
    const std::string before = "test \"$CARVEX_IMEI\" != " + Imei(2) +
                               " || { echo \"label printer: no labels for $CARVEX_PORT\" >&2; "
                               "exit 3; }";
    const std::string after = "cat > " + hooks.string() + "/$CARVEX_IMEI.json; exit 4";
    auto station = Start({"--before-hook", before, "--after-hook", after});
    std::map<std::string, Json> ended;
    for (int card = 0; card < 2; ++card) {
        auto event = station->NextCard();
        ASSERT_TRUE(event);
        ended[(*event)["slot"]] = *event;
    }
    EXPECT_EQ(ended["COM12"]["result"], "ok");
    EXPECT_EQ(ended["COM22"]["result"],
              "refused: refused by the before-hook: label printer: no labels for COM22");
    EXPECT_EQ(ended["COM22"]["text"],
              "refused by the before-hook: label printer: no labels for COM22");
    EXPECT_EQ(NvWrites(2), 0U);
    EXPECT_EQ(Card(2).Resets(), 0);

    station->Signal(SIGTERM);
    ASSERT_TRUE(station->Next("stopped"));  // the after-hooks awaited
    EXPECT_EQ(station->Wait(), 1) << "a refused card is not ok";
    EXPECT_TRUE(std::any_of(station->seen.begin(), station->seen.end(), [](const Json& event) {
        return event["event"] == "notice" && event["text"].get<std::string>().ends_with(
                                                 "after-hook of IMEI 356789012345678 "
                                                 "failed: exit 4");
    }));
    const auto given = cardwright::ParseJson(testsupport::Contents(hooks / (Imei(1) + ".json")));
    ASSERT_TRUE(given.value) << given.error;
    EXPECT_EQ((*given.value)["uuid"], ended["COM12"]["uuid"]);
    EXPECT_EQ((*given.value)["result"], "ok");
    EXPECT_EQ((*given.value)["station"], "line-7");
    const auto records = StoredRecords(Imei(1));
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0].after_hook, "failed: exit 4");
}

// A before-hook that hangs is killed at its time-out, with what it started; meanwhile the other
// slot's card is written to its end.
TEST_F(StationTest, AHookThatHangsIsKilledAndHoldsUpNoOtherSlot) {
    Plug(2);
    const fs::path pid = dir_.Path() / "hook.pid";
    const std::string before =
        "test \"$CARVEX_PORT\" != COM12 || { echo $$ > " + pid.string() + "; sleep 600; }";
    auto station = Start({"--before-hook", before, "--hook-timeout", "30"});
    auto first = station->NextCard();
    ASSERT_TRUE(first);
    EXPECT_EQ((*first)["slot"], "COM22") << "the other card ends while the hook hangs";
    EXPECT_EQ((*first)["result"], "ok");
    auto hung = station->NextCard();
    ASSERT_TRUE(hung);
    EXPECT_EQ((*hung)["result"], "refused: refused by the before-hook: killed after 30 s");
    EXPECT_EQ(NvWrites(1), 0U);
    const pid_t shell = std::stoi(testsupport::Contents(pid));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return ::kill(shell, 0) != 0; }))
        << "the hook's shell is gone";
    station->Signal(SIGTERM);
    EXPECT_EQ(station->Wait(), 1);
}

// SIGTERM while a card is written: no new card is begun, the card's write goes to its end. The
// station was started before its device root was made, and found the first card all the same.
TEST_F(StationTest, SigtermLetsTheCardBeingWrittenFinish) {
    root_ = dir_.Path() / "root";
    auto station = Start();
    ASSERT_TRUE(station->Next("notice"));  // watching
    Plug(1);
    ASSERT_TRUE(station->ReachStep("COM12", "writing"));
    station->Signal(SIGTERM);
    bench_->Plug({});  // too late: not begun
    auto card = station->NextCard("COM12", std::chrono::seconds(60));
    ASSERT_TRUE(card) << "within the 60 s grace";
    EXPECT_EQ((*card)["result"], "ok");
    ASSERT_TRUE(station->Next("stopped"));
    EXPECT_EQ(station->Wait(), 0);
    EXPECT_EQ(NvWrites(2), 0U);
    EXPECT_EQ(StoredRecords().size(), 1U);
}

// SIGTERM while a card's before-hook runs: the hook's yes comes too late, nothing is written
// and the card is recorded interrupted.
TEST_F(StationTest, SigtermDuringTheBeforeHookWritesNothing) {
    Plug(1);
    const fs::path started = dir_.Path() / "hook-started";
    const fs::path go = dir_.Path() / "go";
    auto station = Start({"--before-hook", "touch " + started.string() + "; while test ! -e " +
                                               go.string() + "; do sleep 0.1; done"});
    ASSERT_TRUE(station->ReachStep("COM12", "snapshot"));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return fs::exists(started); }, 60s));
    station->Signal(SIGTERM);
    for (;;) {
        const auto notice = station->Next("notice");
        ASSERT_TRUE(notice);
        if ((*notice)["text"].get<std::string>().starts_with("stopping")) {
            break;
        }
    }
    testsupport::Put(go, "");
    auto card = station->NextCard("COM12");
    ASSERT_TRUE(card);
    EXPECT_EQ((*card)["result"], "interrupted at snapshot");
    EXPECT_EQ(NvWrites(1), 0U);
    EXPECT_EQ(station->Wait(), 1);
    const auto records = StoredRecords();
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0].result, "interrupted at snapshot");
}

// A card's record that cannot be saved is said at once, not only when the station stops, and
// the after-hook is given no record the records do not hold.
TEST_F(StationTest, ARecordThatCannotBeSavedIsSaidAtOnceAndGivenToNoHook) {
    Plug(1);
    const fs::path given = dir_.Path() / "given.json";
    auto station = Start({"--after-hook", "cat > " + given.string()});
    ASSERT_TRUE(station->ReachStep("COM12", "writing"));
    {
        cardwright::SqliteDatabase db(Records(), false);
        db.SetBusyTimeout(10s);
        db.Exec("DELETE FROM records");
    }
    auto card = station->NextCard("COM12");
    ASSERT_TRUE(card);
    EXPECT_EQ((*card)["result"], "ok") << "the card itself was written";
    EXPECT_TRUE(std::any_of(station->seen.begin(), station->seen.end(), [&](const Json& event) {
        const std::string text = event.value("text", "");
        return event["event"] == "notice" &&
               text.starts_with("COM12: the record of IMEI " + Imei(1) + " could not be saved: ") &&
               text.ends_with("; its after-hook is not run");
    }));
    station->Signal(SIGTERM);
    EXPECT_NE(station->Wait(), 0) << "a record was lost";
    EXPECT_FALSE(fs::exists(given));
}

// station --json | a consumer that quits after the first line: the station goes on, writes and
// records the card, and ends as asked.
TEST_F(StationTest, OutlivesAConsumerOfItsEventsThatQuits) {
    Plug(1);
    std::vector<std::string> args = {"-c", "exec \"$0\" \"$@\" > >(head -n 1 > /dev/null)",
                                     CARVEXCTL};
    for (std::string& arg : StationArguments()) {
        args.push_back(std::move(arg));
    }
    testsupport::RunningProgram station("/bin/bash", args, Environment());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return Card(1).Resets() == 1; }, 90s));
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            const auto records = StoredRecords();
            return records.size() == 1 && records[0].result == "ok";
        },
        30s));
    ::kill(station.Pid(), SIGTERM);
    EXPECT_EQ(station.Wait(), 0) << "not ended by SIGPIPE";
}

// ModemManager lets go of each card before the station first reaches it, and gets it back once
// the card's work is over.
TEST_F(StationTest, BorrowsEachCardFromModemManagerWhileItIsWorked) {
    const std::string device = "/sys/devices/pci0000:00/0000:00:14.0/usb3/3-4";
    Plug(1, device);
    const testsupport::PrivateBus bus;
    bus_address_ = bus.Address();
    using Kind = testsupport::FakeModemManager::Call::Kind;
    const testsupport::FakeModemManager modem_manager(
        bus.Address(), {{"/org/freedesktop/ModemManager1/Modem/0", device, {}}},
        testsupport::FakeModemManager::Answer::kLend,
        [this](const std::string&) { return Card(1).Requests().size(); });
    auto station = Start({"--no-restart"});
    auto card = station->NextCard("COM12");
    ASSERT_TRUE(card);
    EXPECT_EQ((*card)["result"], "ok");
    ASSERT_TRUE(modem_manager.WaitForCalls(2, std::chrono::seconds(10)));
    const auto calls = modem_manager.Calls();
    EXPECT_EQ(calls[0].kind, Kind::kInhibit);
    EXPECT_EQ(calls[0].device, device);
    EXPECT_EQ(calls[0].noted, 0U) << "the card was reached before ModemManager let go of it";
    EXPECT_EQ(calls[1].kind, Kind::kUninhibit);
    EXPECT_EQ(calls[1].noted, Card(1).Requests().size())
        << "the card was given back before its work ended";
    station->Signal(SIGTERM);
    EXPECT_EQ(station->Wait(), 0);
}

// Without --description, the configuration folder's Config_Info.ini, when the folder holds one;
// carvexctl names the file it took, and never makes or fills the folder.
TEST_F(StationTest, TheDescriptionIsTheConfigurationFoldersWhenItHoldsOne) {
    Plug(1);
    const fs::path folder = dir_.Path() / "config" / "cardwright";
    auto refused = testsupport::RunProgram(CARVEXCTL, {"read"}, Environment());
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_NE(refused.err.find(folder.string() + " holds no Config_Info.ini"), std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(folder));
    refused = testsupport::RunProgram(CARVEXCTL, {"station", SettingFile()}, Environment());
    EXPECT_EQ(refused.exit_code, 2) << refused.err;

    fs::create_directories(folder);
    fs::copy_file(testsupport::kTestData / "Config_Info.ini", folder / "Config_Info.ini");
    const auto read = testsupport::RunProgram(CARVEXCTL, {"read"}, Environment());
    EXPECT_EQ(read.exit_code, 0) << read.err;
    EXPECT_NE(read.err.find("the description is " + (folder / "Config_Info.ini").string()),
              std::string::npos)
        << read.err;
    EXPECT_EQ(fs::directory_iterator(folder)->path().filename(), "Config_Info.ini");
}

// What a station in the test's own process shows.
class ShownSlots : public cardwright::StationListener {
  public:
    void SlotChanged(const cardwright::SlotView& slot) override { Keep(slot.text); }
    void Progress(const cardwright::SlotView& slot, const cardwright::WorkProgress&) override {
        Keep(slot.text);
    }
    void CardEnded(const cardwright::SlotView& slot, const cardwright::CardRecord&,
                   const cardwright::StationCounts&) override {
        Keep(slot.text);
    }
    void Notice(const std::string& text) override { Keep(text); }

    bool Shown(std::string_view part) {
        const std::lock_guard lock(mutex_);
        return std::any_of(texts_.begin(), texts_.end(), [&](const std::string& text) {
            return text.find(part) != std::string::npos;
        });
    }

  private:
    void Keep(const std::string& text) {
        const std::lock_guard lock(mutex_);
        texts_.push_back(text);
    }
    std::mutex mutex_;
    std::vector<std::string> texts_;
};

// Short of room for its records, snapshots or logs, the station begins no card, and says why.
TEST_F(StationTest, BeginsNoCardWithoutRoomOnTheDisk) {
    Plug(1);
    cardwright::ApplyRequest request;
    request.settings = SettingFile();
    request.description = testsupport::kTestData / "Config_Info.ini";
    request.snapshots = dir_.Path() / "snapshots";
    request.run_folder = cardwright::MakeRunFolder(dir_.Path() / "logs").path;
    const cardwright::BatchApply apply(bench_->Root(), request);
    cardwright::RecordStore store(Records());
    cardwright::StationRequest asked;
    asked.folders = {{"snapshots", request.snapshots}};
    asked.min_free_bytes = UINT64_MAX;
    ShownSlots shown;
    cardwright::Station station(bench_->Root(), apply, store, asked, shown);
    cardwright::WorkStop stop;
    std::thread run([&] { station.Run(stop); });
    EXPECT_TRUE(
        testsupport::WaitUntil([&] { return shown.Shown("waiting for room on the disk"); }));
    stop.Stop("the test");
    station.Wake();
    run.join();
    EXPECT_TRUE(shown.Shown("no new card is started: "));
    EXPECT_TRUE(shown.Shown(" (snapshots), less than "));
    EXPECT_TRUE(Card(1).Requests().empty());
}

}  // namespace
}  // namespace stationtest
