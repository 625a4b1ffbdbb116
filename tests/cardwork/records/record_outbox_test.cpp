// The outbox of the records forwarded to a central database: what is queued and when (with the
// completion, or with the mark of a record whose process was killed), in which order, and that
// nothing waiting is pruned away.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>

#include "cardwork/records/record_store.h"
#include "tests/support/forked_child.h"
#include "tests/support/temp_dir.h"

namespace cardwright {
namespace {

using std::chrono::system_clock;

StoredRecord BegunOnDay(std::string imei, int day = 14) {
    using namespace std::chrono;
    StoredRecord record;
    record.imei = std::move(imei);
    record.station = "line-3";
    record.port = "COM12";
    record.started = sys_days(year(2026) / March / day) + hours(9);
    return record;
}

void End(StoredRecord& record) {
    record.items = {{"550", std::vector<uint8_t>{1, 2}, std::vector<uint8_t>{7}}};
    record.ended = record.started + std::chrono::seconds(40);
    record.seconds = 40.0;
    record.End(WorkResult::Done());
}

std::vector<std::string> Imeis(const std::vector<QueuedRecord>& waiting) {
    std::vector<std::string> imeis;
    imeis.reserve(waiting.size());
    for (const QueuedRecord& queued : waiting) {
        imeis.push_back(queued.record.imei);
    }
    return imeis;
}

// The one of `uuid` among those waiting, as the forwarder would mark it once sent.
std::vector<QueuedRecord> Sent(const RecordStore& store, const std::string& uuid) {
    std::vector<QueuedRecord> sent;
    for (QueuedRecord& queued : store.Waiting(100)) {
        if (queued.record.uuid == uuid) {
            sent.push_back(std::move(queued));
        }
    }
    return sent;
}

class RecordOutboxTest : public ::testing::Test {
  protected:
    std::filesystem::path Db() const { return dir_.Path() / "records.db"; }
    testsupport::TempDir dir_;
};

TEST_F(RecordOutboxTest, ARecordIsQueuedWhenItEndsAndWaitsInTheOrderTheyEnded) {
    RecordStore store(Db());
    StoredRecord before = BegunOnDay("356938035643801");
    store.Begin(before);  // begun before forwarding was asked for: never queued
    std::atomic<int> told = 0;
    store.QueueForForwarding([&] { ++told; });

    StoredRecord first = BegunOnDay("356938035643802");
    StoredRecord second = BegunOnDay("356938035643803");
    store.Begin(first);
    store.Begin(second);
    EXPECT_EQ(store.WaitingCount(), 0u) << "a record in progress does not wait yet";

    End(second);
    store.Complete(second);
    End(first);
    store.Complete(first);
    End(before);
    store.Complete(before);
    EXPECT_EQ(told, 2);

    const std::vector<QueuedRecord> waiting = store.Waiting(10);
    EXPECT_EQ(Imeis(waiting), (std::vector<std::string>{second.imei, first.imei}));
    ASSERT_EQ(waiting[0].record.items.size(), 1u) << "sent with its items";
    EXPECT_EQ(waiting[0].record, RecordStore(Db()).Find({.imei = second.imei}, true).at(0));
    EXPECT_EQ(store.Waiting(1).size(), 1u);

    store.MarkForwarded(Sent(store, second.uuid));
    EXPECT_EQ(Imeis(store.Waiting(10)), std::vector<std::string>{first.imei});
    // Another process sharing the file sees the same queue.
    EXPECT_EQ(RecordStore(Db()).WaitingCount(), 1u);
}

TEST_F(RecordOutboxTest, AKilledWritersRecordIsQueuedWhenItIsMarkedInterrupted) {
    testsupport::ForkedChild writer([db = Db()](testsupport::ForkedChild& self) {
        RecordStore store(db);
        store.QueueForForwarding();
        StoredRecord record = BegunOnDay("356938035643809");
        record.step = "writing";
        store.Begin(record);
        self.Say(record.uuid);
        self.WaitForRelease();
        return 0;
    });
    const std::string uuid = writer.Hear();
    EXPECT_EQ(RecordStore(Db()).WaitingCount(), 0u) << "its process still runs";
    ASSERT_EQ(::kill(writer.Pid(), SIGKILL), 0);
    writer.Wait();

    // Any process opening the file marks it, queued or not itself.
    const RecordStore store(Db());
    ASSERT_EQ(store.MarkedInterrupted(), 1u);
    const auto waiting = store.Waiting(10);
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0].record.uuid, uuid);
    EXPECT_EQ(waiting[0].record.result, "interrupted at writing");
}

TEST_F(RecordOutboxTest, AnAfterHookEndedLaterGoesAgainAndPruningKeepsWhatWaits) {
    RecordStore store(Db());
    store.QueueForForwarding();
    StoredRecord old = BegunOnDay("356938035643811", 1);
    StoredRecord sent = BegunOnDay("356938035643812", 2);
    for (StoredRecord* record : {&old, &sent}) {
        store.Begin(*record);
        End(*record);
        store.Complete(*record);
    }
    store.MarkForwarded(Sent(store, sent.uuid));
    EXPECT_EQ(store.WaitingCount(), 1u);

    // The hook of one being sent ends: what was sent without it does not count as forwarded.
    const std::vector<QueuedRecord> being_sent = Sent(store, old.uuid);
    store.SetAfterHook(old.uuid, "ok");
    store.MarkForwarded(being_sent);
    EXPECT_EQ(store.WaitingCount(), 1u);
    store.SetAfterHook(sent.uuid, "ok");
    const auto waiting = store.Waiting(10);
    ASSERT_EQ(Imeis(waiting), (std::vector<std::string>{old.imei, sent.imei}));
    EXPECT_EQ(waiting[0].record.after_hook, "ok");
    EXPECT_EQ(waiting[1].record.after_hook, "ok");

    // Both began before the cut-off; only the one the central database has may go.
    store.MarkForwarded(Sent(store, sent.uuid));
    using namespace std::chrono;
    EXPECT_EQ(store.RemoveBegunBefore(sys_days(year(2026) / March / 10)), 1u);
    const std::vector<StoredRecord> kept = store.Find({});
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].imei, old.imei);
    EXPECT_EQ(store.WaitingCount(), 1u);
}

}  // namespace
}  // namespace cardwright
