// What a station sees of a batch: the record sink and the observer, and a run that is stopped.
#include "tests/tools/batch_apply_fixture.h"

namespace cardwright {
namespace {

using namespace batch_test;

// What a station sees of each card: the record sink told when the card begins and when it has
// ended, with one UUID; each written item's bytes before and after; the observer's progress.
class Records : public RecordSink, public CardObserver {
  public:
    void Begin(const CardRecord& record) override {
        const std::lock_guard lock(mutex_);
        begun.push_back(record);
    }
    void Complete(const CardRecord& record) override {
        const std::lock_guard lock(mutex_);
        completed.push_back(record);
    }
    void Progress(const CardRecord& record, const WorkProgress& progress) override {
        const std::lock_guard lock(mutex_);
        if (progress.step == WorkStep::kWritingItem && progress.item == stop_at_item && stop) {
            stop->Stop("SIGTERM", grace);
        }
        steps.emplace_back(record.port, progress.step);
    }

    std::vector<CardRecord> begun;
    std::vector<CardRecord> completed;
    std::vector<std::pair<std::string, WorkStep>> steps;
    WorkStop* stop = nullptr;
    size_t stop_at_item = 0;
    std::chrono::milliseconds grace{0};

  private:
    std::mutex mutex_;
};

TEST_F(BatchApplyTest, ARecordSinkIsToldWhenEachCardBeginsAndEnds) {
    Plug(1);
    const auto before = testsupport::ConfigurationOf(Card(1));
    Records records;
    const auto outcomes = Apply(Request(SettingFile()), {&records, &records, nullptr});
    ASSERT_EQ(records.begun.size(), 1u);
    ASSERT_EQ(records.completed.size(), 1u);
    const CardRecord& done = records.completed[0];
    EXPECT_EQ(records.begun[0].uuid, done.uuid);
    EXPECT_EQ(done.uuid.size(), 36u);
    EXPECT_EQ(done.uuid, outcomes[0].uuid);
    EXPECT_EQ(done.result.Text(), "ok");
    EXPECT_FALSE(done.run.settings_sha256.empty());
    EXPECT_FALSE(done.run.description_sha256.empty());
    EXPECT_LE(done.started, done.ended);
    ASSERT_EQ(done.items.size(), kItemsWritten);
    for (const ItemChange& change : done.items) {
        EXPECT_EQ(change.before, before.nv.at(static_cast<uint16_t>(change.item))) << change.item;
        EXPECT_EQ(change.after, Card(1).Nv(change.item)) << change.item;
    }
    ASSERT_TRUE(done.port_setting);
    EXPECT_EQ(done.port_setting->before->mask, 0x14);
    EXPECT_EQ(done.port_setting->after.mask, 4);
    const auto step = [&](WorkStep wanted) {
        return std::count_if(records.steps.begin(), records.steps.end(),
                             [&](const auto& seen) { return seen.second == wanted; });
    };
    EXPECT_GT(step(WorkStep::kWritingItem), 0);
    EXPECT_EQ(step(WorkStep::kAwaitingReturn), 1);
    EXPECT_EQ(step(WorkStep::kReadingBack), static_cast<long>(kItemsWritten));
}

// The snapshot an earlier attempt took is gone (pruned, removed by hand): the card is not held
// back for ever, a new snapshot of it as it is now is taken, and its log says why.
TEST_F(BatchApplyTest, AGoneEarlierSnapshotIsReplacedByANewOne) {
    struct Earlier : Records {
        std::string EarlierSnapshot(const CardRecord& /*record*/) override { return earlier; }
        std::string earlier;
    };
    Plug(1);
    Earlier records;
    records.earlier = (dir_.Path() / "snapshots" / "pruned.json").string();
    const ApplyRequest request = Request(SettingFile());
    const auto outcomes = Apply(request, {&records, &records, nullptr});
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result.Text(), "ok");
    EXPECT_NE(outcomes[0].snapshot, records.earlier);
    EXPECT_TRUE(std::filesystem::exists(outcomes[0].snapshot)) << outcomes[0].snapshot;
    EXPECT_NE(LogOf(request.run_folder, 1).find(records.earlier + ", is gone: a new one is taken"),
              std::string::npos);
}

// A record sink or an observer that throws (a station's database gone, a page that fails) ends
// no other card's work and leaves no attempt half told: each Begin the sink took is followed by
// one Complete, and the card's log says what could not be told.
TEST_F(BatchApplyTest, ASinkOrObserverThatThrowsStillCompletesEachBegunRecordOnce) {
    struct Throwing : Records {
        void Begun(const CardRecord& /*record*/) override {
            if (throw_at_begun) {
                throw std::runtime_error("the page is gone");
            }
        }
        void Complete(const CardRecord& record) override {
            Records::Complete(record);
            if (throw_at_complete) {
                throw std::runtime_error("the database is gone");
            }
        }
        bool throw_at_begun = false;
        bool throw_at_complete = false;
    };
    const struct {
        bool at_begun;
        bool at_complete;
        const char* result;
        const char* logged;
    } cases[] = {
        {false, true, "ok", "the database is gone"},
        {true, false, "failed: the page is gone", "the page is gone"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        Plug(2);
        Throwing records;
        records.throw_at_begun = c.at_begun;
        records.throw_at_complete = c.at_complete;
        const ApplyRequest request = Request(SettingFile());
        const auto outcomes = Apply(request, {&records, &records, nullptr});
        ASSERT_EQ(outcomes.size(), 2u);
        EXPECT_EQ(records.begun.size(), 2u);
        ASSERT_EQ(records.completed.size(), 2u);
        for (size_t card = 0; card < 2; ++card) {
            EXPECT_EQ(outcomes[card].result.Text(), c.result);
            EXPECT_NE(testsupport::Contents(outcomes[card].log).find(c.logged), std::string::npos)
                << outcomes[card].log;
        }
    }
}

// A run stopped while its first card is written (one card at a time) begins no other card. The
// card being written finishes within its grace; with none left it is interrupted at its next
// call to the card, and its log says so.
TEST_F(BatchApplyTest, AStoppedRunBeginsNoFurtherCardAndEndsTheOneBeingWritten) {
    const struct {
        std::chrono::milliseconds grace;
        const char* result;
    } cases[] = {{60s, "ok"}, {0s, "interrupted at writing"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        Plug(2);
        WorkStop stop;
        Records records;
        records.stop = &stop;
        records.stop_at_item = 3;
        records.grace = c.grace;
        ApplyRequest request = Request(SettingFile());
        request.jobs = 1;
        const auto outcomes = Apply(request, {&records, &records, &stop});
        EXPECT_EQ(outcomes[0].result.Text(), c.result);
        EXPECT_EQ(outcomes[1].result.Text(), "interrupted at opening the card");
        EXPECT_TRUE(Card(2).Requests().empty()) << "the second card was not begun";
        EXPECT_EQ(records.completed.size(), 1u) << "a card not begun has no record";
        const std::string log = LogOf(request.run_folder, 1);
        if (c.grace == 0s) {
            EXPECT_GT(outcomes[0].nv_written, 0u);
            EXPECT_NE(log.find("Interrupted at writing (SIGTERM): what was written before stays "
                               "on the card..."),
                      std::string::npos)
                << log;
            EXPECT_EQ(Card(1).Resets(), 0);
        } else {
            EXPECT_EQ(log.find("Interrupted"), std::string::npos) << log;
            EXPECT_EQ(Card(1).Resets(), 1);
        }
    }
}

}  // namespace
}  // namespace cardwright
