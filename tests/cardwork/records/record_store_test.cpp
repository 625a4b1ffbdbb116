// The records database as the processes of a line PC share it: a record begun when its card's
// work begins and completed whole, the records of a killed process marked at the next open and a
// running one's left alone, two writers at once, and schemas older and newer than this one.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <memory>
#include <set>

#include "cardwork/batch/utc_text.h"
#include "cardwork/records/record_in_progress.h"
#include "cardwork/records/record_store.h"
#include "cardwork/records/record_uuid.h"
#include "cardwork/records/sqlite_database.h"
#include "tests/support/forked_child.h"
#include "tests/support/temp_dir.h"

namespace cardwright {
namespace {

using std::chrono::system_clock;

system_clock::time_point At(int day, int hour = 9) {
    using namespace std::chrono;
    return sys_days(year(2026) / March / day) + hours(hour) + minutes(5) + seconds(31);
}

StoredRecord Begun(std::string imei, std::string station = "line-3") {
    StoredRecord record;
    record.imei = std::move(imei);
    record.station = std::move(station);
    record.port = "COM12";
    record.operator_name = "r.okafor";
    record.work_order = "WO-7781";
    record.setting_file = "fleet-apn.ini";
    record.setting_crc = 0xBEEF;
    record.setting_sha256 = std::string(64, 'a');
    record.description_sha256 = std::string(64, 'd');
    record.tool_version = "carvexctl 0.9.4";
    record.started = At(14);
    return record;
}

// A begun record as it is when its card's work ends well.
void EndWell(StoredRecord& record) {
    record.model = "QX-220";
    record.firmware = "QX220-FW-1.0.7";
    record.card_type = "QX-220 rev B";
    record.defaults_left = std::vector<std::string>{"Roaming", "LED brightness"};
    record.nv_written = 2;
    record.retries = 1;
    record.snapshot = "/var/lib/line/snapshots/356938035643809-20260314T090531Z.json";
    record.items = {{"550", std::vector<uint8_t>{1, 2, 0}, std::vector<uint8_t>{7, 0}},
                    {"port setting", std::nullopt, std::vector<uint8_t>{}}};
    record.ended = At(14, 10);
    record.seconds = 3600.0;
    record.End(WorkResult::Done());
}

class RecordStoreTest : public ::testing::Test {
  protected:
    std::filesystem::path Db() const { return dir_.Path() / "state" / "records.db"; }
    std::vector<StoredRecord> All(const RecordStore& store, bool with_items = false) const {
        return store.Find({}, with_items);
    }

    testsupport::TempDir dir_;
};

TEST_F(RecordStoreTest, ARecordIsBegunWhenTheWorkBeginsAndCompletedWhole) {
    RecordStore store(Db());
    StoredRecord record = Begun("356938035643809");
    store.Begin(record);
    ASSERT_TRUE(IsRecordUuid(record.uuid)) << record.uuid;

    // In progress: it is there, without an end.
    auto found = All(store);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].uuid, record.uuid);
    EXPECT_EQ(found[0].imei, "356938035643809");
    EXPECT_FALSE(found[0].outcome);
    EXPECT_EQ(found[0].result, "");
    EXPECT_FALSE(found[0].ended);

    // What is learnt meanwhile is kept, not its end.
    record.step = "writing";
    record.result = "ok";
    store.Note(record);
    found = All(store);
    EXPECT_EQ(found[0].step, "writing");
    EXPECT_EQ(found[0].result, "");

    EndWell(record);
    store.Complete(record);
    found = All(store, true);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], record);
    // Completed once: a second end for it is refused, not written over the first.
    EXPECT_THROW(store.Complete(record), RecordStoreError);

    // Another open sees the same, and a record without an end cannot be completed.
    RecordStore again(Db(), RecordStore::IfMissing::kRefuse);
    EXPECT_EQ(All(again, true), found);
    StoredRecord endless = Begun("356938035643810");
    again.Begin(endless);
    EXPECT_THROW(again.Complete(endless), RecordStoreError);

    // A UUID the work made is kept; one that another record has is refused.
    StoredRecord given = Begun("356938035643811");
    given.uuid = "3b6f0c1e-9a2d-4f7b-8c11-5e0d2a9b7f34";
    again.Begin(given);
    EXPECT_EQ(given.uuid, "3b6f0c1e-9a2d-4f7b-8c11-5e0d2a9b7f34");
    EXPECT_THROW(again.Begin(given), RecordStoreError);
}

TEST_F(RecordStoreTest, ACompletionThatFailsPartWayLeavesTheRecordAsItWas) {
    RecordStore store(Db());
    StoredRecord record = Begun("356938035643809");
    store.Begin(record);
    EndWell(record);
    // The same item twice: the second insert fails after the record's row was updated.
    record.items.push_back(record.items.front());
    EXPECT_THROW(store.Complete(record), RecordStoreError);

    const auto found = All(store, true);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(found[0].outcome);
    EXPECT_EQ(found[0].result, "");
    EXPECT_TRUE(found[0].items.empty());
    EXPECT_FALSE(found[0].defaults_left);
}

TEST_F(RecordStoreTest, AWorkThatBreaksOffIsCompletedAsInterruptedAtItsStep) {
    RecordStore store(Db());
    try {
        RecordInProgress record(store, Begun("356938035643809"));
        record.Record().step = "writing";
        record.Note();
        throw std::runtime_error("the port went away");
    } catch (const std::runtime_error&) {
    }
    {
        RecordInProgress record(store, Begun("356938035643810"));
        record.Record().End(WorkResult::Refused(WorkStep::kCheckingCardType, "other card type"));
        record.Complete();
    }
    const auto found = All(store);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].outcome, RecordOutcome::kInterrupted);
    EXPECT_EQ(found[0].result, "interrupted at writing");
    ASSERT_TRUE(found[0].ended && found[0].seconds);
    EXPECT_EQ(found[1].outcome, RecordOutcome::kRefused);
    EXPECT_EQ(found[1].result, "refused: other card type");
    EXPECT_EQ(found[1].step, "checking the card");
}

// A process that begins a record at the step "writing", says its UUID and waits.
testsupport::ForkedChild Writer(const std::filesystem::path& db) {
    return testsupport::ForkedChild([db](testsupport::ForkedChild& self) {
        RecordStore store(db);
        StoredRecord record = Begun("356938035643809");
        store.Begin(record);
        record.step = "writing";
        store.Note(record);
        self.Say(record.uuid);
        self.WaitForRelease();
        return 0;
    });
}

TEST_F(RecordStoreTest, AKilledWritersRecordIsMarkedInterruptedAtTheNextOpenOnly) {
    testsupport::ForkedChild writer = Writer(Db());
    const std::string uuid = writer.Hear();
    ASSERT_TRUE(IsRecordUuid(uuid)) << uuid;

    // The writer runs: its record is not another process's to touch.
    {
        const RecordStore store(Db());
        EXPECT_EQ(store.MarkedInterrupted(), 0u);
        ASSERT_EQ(All(store).size(), 1u);
        EXPECT_FALSE(All(store)[0].outcome);
    }

    const RecordStore open_before(Db());
    ASSERT_EQ(::kill(writer.Pid(), SIGKILL), 0);
    EXPECT_EQ(writer.Wait(), -1);
    // A store that was open before it died does not mark it: only an open does.
    EXPECT_FALSE(All(open_before)[0].outcome);

    const RecordStore after(Db());
    EXPECT_EQ(after.MarkedInterrupted(), 1u);
    const auto found = All(after);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].uuid, uuid);
    EXPECT_EQ(found[0].outcome, RecordOutcome::kInterrupted);
    EXPECT_EQ(found[0].result, "interrupted at writing");
    EXPECT_EQ(RecordStore(Db()).MarkedInterrupted(), 0u);
}

TEST_F(RecordStoreTest, ARecordOfAnEndedButUnreapedOwnerIsInterruptedAndALiveOnesKept) {
    testsupport::ForkedChild live = Writer(Db());
    const std::string live_uuid = live.Hear();
    // A writer that has ended without completing, whose parent has not reaped it yet.
    testsupport::ForkedChild ended([db = Db()](testsupport::ForkedChild& self) {
        RecordStore store(db);
        StoredRecord record = Begun("356938035643810");
        store.Begin(record);
        self.Say(record.uuid);
        return 0;
    });
    const std::string ended_uuid = ended.Hear();
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(ended.Pid()), &info, WEXITED | WNOWAIT), 0);

    const RecordStore store(Db());
    EXPECT_EQ(store.MarkedInterrupted(), 1u);
    for (const StoredRecord& record : All(store)) {
        if (record.uuid == live_uuid) {
            EXPECT_FALSE(record.outcome);
        } else {
            EXPECT_EQ(record.uuid, ended_uuid);
            EXPECT_EQ(record.result, "interrupted");
        }
    }
}

TEST_F(RecordStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kEach = 40;
    const auto writer = [db = Db()](testsupport::ForkedChild& self) {
        std::optional<RecordStore> store;
        try {
            store.emplace(db);
        } catch (const RecordStoreError& error) {
            self.Say(error.what());
            return 1;
        }
        self.Say("open");
        self.WaitForRelease();
        for (int i = 0; i < kEach; ++i) {
            RecordInProgress record(*store, Begun("3569380356" + std::to_string(10000 + i)));
            record.Record().End(WorkResult::Done());
            record.Complete();
        }
        return 0;
    };
    testsupport::ForkedChild first(writer, std::chrono::seconds(120));
    testsupport::ForkedChild second(writer, std::chrono::seconds(120));
    ASSERT_EQ(first.Hear(), "open");
    ASSERT_EQ(second.Hear(), "open");
    first.Release();
    second.Release();
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);

    const auto found = All(RecordStore(Db()));
    ASSERT_EQ(found.size(), 2u * kEach);
    std::set<std::string> uuids;
    for (const StoredRecord& record : found) {
        EXPECT_EQ(record.outcome, RecordOutcome::kOk);
        uuids.insert(record.uuid);
    }
    EXPECT_EQ(uuids.size(), 2u * kEach);
}

// Processes that find no database and make it at the same moment each open it whole: one makes
// it, the others wait for it or find it made.
TEST_F(RecordStoreTest, ProcessesMakingTheDatabaseAtOnceAllOpenIt) {
    constexpr int kProcesses = 8;
    std::vector<std::unique_ptr<testsupport::ForkedChild>> openers;
    for (int i = 0; i < kProcesses; ++i) {
        openers.push_back(
            std::make_unique<testsupport::ForkedChild>([db = Db()](testsupport::ForkedChild& self) {
                self.Say("ready");
                self.WaitForRelease();
                try {
                    RecordStore store(db);
                    StoredRecord record = Begun("356938035643809");
                    store.Begin(record);
                } catch (const RecordStoreError& error) {
                    self.Say(error.what());
                    return 1;
                }
                self.Say("open");
                return 0;
            }));
        ASSERT_EQ(openers.back()->Hear(), "ready");
    }
    for (auto& opener : openers) {
        opener->Release();
    }
    for (auto& opener : openers) {
        EXPECT_EQ(opener->Hear(), "open");
        EXPECT_EQ(opener->Wait(), 0);
    }
    EXPECT_EQ(All(RecordStore(Db())).size(), static_cast<size_t>(kProcesses));
}

TEST_F(RecordStoreTest, QueriesNarrowByImeiTimeOutcomeAndStation) {
    RecordStore store(Db());
    const auto add = [&](std::string imei, std::string station, int day, const WorkResult& end) {
        StoredRecord record = Begun(std::move(imei), std::move(station));
        record.started = At(day);
        store.Begin(record);
        record.End(end);
        store.Complete(record);
    };
    add("356938035643809", "line-3", 10, WorkResult::Done());
    add("356938035643809", "line-4", 12, WorkResult::Mismatch());
    add("356938035643810", "line-3", 14, WorkResult::Failed(WorkStep::kWritingItem, "no answer"));
    StoredRecord running = Begun("356938035643811");
    running.started = At(15);
    store.Begin(running);

    const auto imeis = [&](const RecordFilter& filter) {
        std::vector<std::string> found;
        for (const StoredRecord& record : store.Find(filter)) {
            found.push_back(record.imei.substr(12) + "@" + UtcText(record.started).substr(8, 2));
        }
        return found;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(imeis({}), (V{"809@10", "809@12", "810@14", "811@15"}));
    EXPECT_EQ(imeis({.imei = "356938035643809"}), (V{"809@10", "809@12"}));
    // From the first second of the day given on.
    EXPECT_EQ(imeis({.since = At(12) - std::chrono::seconds(1)}),
              (V{"809@12", "810@14", "811@15"}));
    EXPECT_EQ(imeis({.since = At(12)}), (V{"809@12", "810@14", "811@15"}));
    EXPECT_EQ(imeis({.since = At(12) + std::chrono::seconds(1)}), (V{"810@14", "811@15"}));
    EXPECT_EQ(imeis({.outcome = RecordOutcome::kMismatch}), (V{"809@12"}));
    EXPECT_EQ(imeis({.outcome = RecordOutcome::kFailed}), (V{"810@14"}));
    EXPECT_EQ(imeis({.station = "line-3"}), (V{"809@10", "810@14", "811@15"}));
    EXPECT_EQ(imeis({.imei = "356938035643809", .station = "line-3"}), (V{"809@10"}));
    // The latest ones the filter lets through, still oldest first.
    EXPECT_EQ(imeis({.latest = 2}), (V{"810@14", "811@15"}));
    EXPECT_EQ(imeis({.station = "line-3", .latest = 2}), (V{"810@14", "811@15"}));
    EXPECT_EQ(imeis({.imei = "356938035643809", .latest = 5}), (V{"809@10", "809@12"}));

    // Old ended records go with their items; one in progress stays, however old.
    EXPECT_EQ(store.RemoveBegunBefore(At(16)), 3u);
    EXPECT_EQ(imeis({}), (V{"811@15"}));
    SqliteDatabase raw(Db(), false);
    SqliteStatement items = raw.Prepare("SELECT count(*) FROM record_items");
    ASSERT_TRUE(items.Step());
    EXPECT_EQ(items.Int(0), 0);
}

TEST_F(RecordStoreTest, ADatabaseOfThePreviousSchemaMigratesAndKeepsItsRecords) {
    std::filesystem::create_directories(Db().parent_path());
    {
        SqliteDatabase v1(Db(), true);
        MigrateRecordSchema(v1, 1);
        v1.Exec(
            "INSERT INTO records (uuid, imei, station, started, ended, seconds, result, outcome,"
            " nv_written, mismatches, owner_pid) VALUES ('3b6f0c1e-9a2d-4f7b-8c11-5e0d2a9b7f34',"
            " '356938035643809', 'line-3', '2026-03-14T09:05:31Z', '2026-03-14T09:06:02Z', 31.0,"
            " 'verify mismatch', 'mismatch', 4, '[\"550\"]', 1)");
        ASSERT_EQ(v1.IntPragma("user_version"), 1);
    }
    RecordStore store(Db());
    SqliteDatabase raw(Db(), false);
    EXPECT_EQ(raw.IntPragma("user_version"), kRecordSchemaVersion);
    EXPECT_EQ(raw.TextPragma("journal_mode"), "wal");

    auto found = All(store);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].uuid, "3b6f0c1e-9a2d-4f7b-8c11-5e0d2a9b7f34");
    EXPECT_EQ(found[0].outcome, RecordOutcome::kMismatch);
    EXPECT_EQ(found[0].mismatches, std::vector<std::string>{"550"});
    EXPECT_EQ(found[0].nv_written, 4u);
    EXPECT_FALSE(found[0].after_hook);
    // What the new schema adds can be written to an old record.
    store.SetAfterHook(found[0].uuid, "label printed");
    EXPECT_EQ(All(store)[0].after_hook, "label printed");
    EXPECT_EQ(store.Find({.station = "line-3"}).size(), 1u);
}

TEST_F(RecordStoreTest, ANewerSchemaOrAnotherProgramsDatabaseIsRefusedUntouched) {
    std::filesystem::create_directories(Db().parent_path());
    {
        SqliteDatabase newer(Db(), true);
        MigrateRecordSchema(newer);
        newer.Exec("PRAGMA journal_mode = DELETE");
        newer.Exec("PRAGMA user_version = " + std::to_string(kRecordSchemaVersion + 1));
    }
    try {
        RecordStore store(Db());
        FAIL() << "a newer schema was opened";
    } catch (const RecordStoreError& error) {
        EXPECT_NE(std::string(error.what()).find("newer program"), std::string::npos)
            << error.what();
    }
    {
        SqliteDatabase raw(Db(), false);
        EXPECT_EQ(raw.IntPragma("user_version"), kRecordSchemaVersion + 1);
        EXPECT_EQ(raw.TextPragma("journal_mode"), "delete");
    }

    const auto other = dir_.Path() / "other.db";
    {
        SqliteDatabase db(other, true);
        db.Exec("CREATE TABLE parts (id INTEGER)");
    }
    EXPECT_THROW(RecordStore store(other), RecordStoreError);
    std::ofstream(dir_.Path() / "text.db") << "no database\n";
    EXPECT_THROW(RecordStore store(dir_.Path() / "text.db"), RecordStoreError);
    EXPECT_THROW(RecordStore store(dir_.Path() / "none.db", RecordStore::IfMissing::kRefuse),
                 RecordStoreError);
    EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "none.db"));
}

}  // namespace
}  // namespace cardwright
