// restore on simulated cards: a card put back from its snapshot, and the cards it refuses.
#include "tests/tools/batch_apply_fixture.h"

namespace cardwright {
namespace {

using namespace batch_test;

TEST_F(BatchApplyTest, RestoreAfterApplyLeavesEveryCardAsItWas) {
    Plug(2);
    const auto first_before = testsupport::StateOf(Card(1));
    const auto second_before = testsupport::StateOf(Card(2));
    const auto outcomes = Apply(Request(SettingFile()));
    ASSERT_EQ(outcomes[0].result.Text(), "ok");
    ASSERT_EQ(outcomes[1].result.Text(), "ok");
    ASSERT_NE(testsupport::StateOf(Card(1)), first_before);

    // The other card's snapshot is refused before anything is written.
    Card(1).ClearRequests();
    const CardRecord refused = Restore(1, outcomes[1].snapshot);
    EXPECT_EQ(refused.result.Text(), "refused: another card (the card's IMEI is " +
                                         outcomes[0].imei + ", the snapshot's " + outcomes[1].imei +
                                         ")");
    EXPECT_EQ(Requests(1, Command::kNvWrite), 0u);

    for (int number = 1; number <= 2; ++number) {
        const CardRecord row = Restore(number, outcomes[static_cast<size_t>(number - 1)].snapshot);
        EXPECT_EQ(row.result.Text(), "ok") << number;
        EXPECT_EQ(row.nv_written, kItemsWritten);
    }
    EXPECT_EQ(testsupport::StateOf(Card(1)), first_before);
    EXPECT_EQ(testsupport::StateOf(Card(2)), second_before);
    EXPECT_EQ(Card(1).Resets(), 2) << "restarted after the restore too";
}

// A card whose IMEI decodes to other characters than digits (a first digit above 9) could get no
// snapshot restore accepts: it is refused before its first write, the other card is not.
TEST_F(BatchApplyTest, ACardWhoseImeiNoSnapshotCanHoldIsNotWritten) {
    Plug(2);
    cardsim::NvValue imei{};
    const uint8_t bytes[] = {0x08, 0xFA, 0x65, 0x87, 0x09, 0x21, 0x43, 0x65, 0x87};
    std::copy(std::begin(bytes), std::end(bytes), imei.begin());
    Card(1).SetNv(550, imei);
    const auto outcomes = Apply(Request(SettingFile()));
    const CardRecord& row = outcomes[0];
    EXPECT_TRUE(row.result.Text().starts_with("failed at snapshot: the card's IMEI \"" + row.imei +
                                              "\" is no number of up to 15 digits"))
        << row.result.Text();
    EXPECT_TRUE(row.snapshot.empty());
    EXPECT_EQ(Requests(1, Command::kNvWrite), 0u);
    EXPECT_EQ(Requests(1, Command::kPortSet), 0u);
    EXPECT_EQ(outcomes[1].result.Text(), "ok");
    EXPECT_EQ(testsupport::Listing(dir_.Path() / "snapshots").size(), 1u);
}

// A card whose IMEI no snapshot can hold (a blank card, say) can get no snapshot before a
// restore either: refused as another card unless forced, and forced, restored without one.
TEST_F(BatchApplyTest, ACardWithoutAUsableImeiIsRestoredOnlyWhenForced) {
    Plug(1);
    const auto outcomes = Apply(Request(SettingFile()));
    ASSERT_EQ(outcomes[0].result.Text(), "ok");
    cardsim::NvValue imei{};
    const uint8_t bytes[] = {0x08, 0xFA, 0x65, 0x87, 0x09, 0x21, 0x43, 0x65, 0x87};
    std::copy(std::begin(bytes), std::end(bytes), imei.begin());
    Card(1).SetNv(550, imei);
    Card(1).ClearRequests();

    EXPECT_TRUE(Restore(1, outcomes[0].snapshot).result.Text().starts_with("refused: "));
    EXPECT_EQ(Requests(1, Command::kNvWrite), 0u);

    const CardRecord forced = Restore(1, outcomes[0].snapshot, true);
    EXPECT_EQ(forced.result.Text(), "ok");
    EXPECT_TRUE(forced.snapshot.empty());
    EXPECT_EQ(Requests(1, Command::kNvWrite), kItemsWritten);
}

// A blank card, its IMEI item not active: a forced restore writes it back, and after the restart
// knows the card by its port and what it reports of itself (firmware, card type), not by an IMEI
// it never had, and reads every byte back.
TEST_F(BatchApplyTest, AForcedRestoreOntoACardWithoutAnImeiIsReadBack) {
    cardsim::CardProfile profile = testsupport::TestProfile();
    profile.inactive.insert(550);
    Plug(1, profile);
    CardSnapshot snapshot;
    snapshot.imei = "356789012345678";
    cardwright::NvData low{};
    low[0] = 9;
    snapshot.nv_items = {{60000, low}};
    snapshot.port_setting = cardwright::DeviceState{2, 0x04};
    const auto file = dir_.Path() / "other-card.json";
    testsupport::Put(file, SnapshotText(snapshot));

    const CardRecord row = Restore(1, file, true);
    EXPECT_EQ(row.result.Text(), "ok");
    EXPECT_TRUE(row.imei.empty());
    EXPECT_EQ(row.firmware, "31.742.06.19.208");
    EXPECT_EQ(Card(1).Resets(), 1);
    EXPECT_EQ(Card(1).Nv(60000)->at(0), 9);
    EXPECT_EQ(Card(1).PortSetting(), (std::pair<uint8_t, uint8_t>{2, 0x04}));
    const std::string log = LogOf(dir_.Path(), 1, false);
    EXPECT_NE(log.find("its port, firmware and card type are those it had"), std::string::npos)
        << log;
}

// A restore, above all one forced onto another card, first saves a snapshot of what the card
// holds of everything it writes back, and names it: that card can be put back as it was too.
TEST_F(BatchApplyTest, RestoreSavesTheCardsOwnSnapshotBeforeItsFirstWrite) {
    Plug(2);
    const auto second_before = testsupport::StateOf(Card(2));
    const auto outcomes = Apply(Request(SettingFile()));
    ASSERT_EQ(outcomes[0].result.Text(), "ok");

    const CardRecord forced = Restore(2, outcomes[0].snapshot, true);
    EXPECT_EQ(forced.result.Text(), "ok");
    EXPECT_EQ(forced.imei, outcomes[1].imei);
    ASSERT_FALSE(forced.snapshot.empty());
    EXPECT_EQ(std::filesystem::path(forced.snapshot).parent_path(), dir_.Path() / "before-restore");
    const SnapshotRead saved = LoadSnapshot(forced.snapshot);
    ASSERT_TRUE(saved.snapshot) << saved.error;
    EXPECT_EQ(saved.snapshot->imei, outcomes[1].imei) << "the card's own IMEI";
    EXPECT_EQ(saved.snapshot->nv_items.size() + 2, kItemsWritten);

    // The card's own snapshot undoes the forced restore, and then the apply.
    EXPECT_EQ(Restore(2, forced.snapshot).result.Text(), "ok");
    EXPECT_EQ(Restore(2, outcomes[1].snapshot).result.Text(), "ok");
    EXPECT_EQ(testsupport::StateOf(Card(2)), second_before);
}

// An item the card did not hold before apply wrote it (one a write makes active) cannot be taken
// away again: restore puts back everything else, names it in its result and among the
// mismatches, and does not call the card restored. An item the card
// still does not hold (60060 takes no write) is as it was, and not named.
TEST_F(BatchApplyTest, RestoreNamesTheItemsItCannotPutBack) {
    cardsim::CardProfile profile = testsupport::TestProfile();
    profile.nv.erase(60000);
    Plug(1, profile);
    const auto outcomes = Apply(Request(SettingFile()));
    ASSERT_EQ(outcomes[0].result.Text(), "ok");
    ASSERT_TRUE(Card(1).Nv(60000)) << "apply wrote the item";
    SnapshotRead read = LoadSnapshot(outcomes[0].snapshot);
    ASSERT_TRUE(read.snapshot) << read.error;
    read.snapshot->nv_items.push_back({60060, std::nullopt});
    const auto snapshot = dir_.Path() / "with-60060.json";
    testsupport::Put(snapshot, SnapshotText(*read.snapshot));

    const CardRecord row = Restore(1, snapshot);
    EXPECT_EQ(row.result.Text(),
              "verify mismatch; not put back, as the snapshot holds none: NV item 60000");
    EXPECT_EQ(row.mismatches, std::vector<std::string>{"60000"}) << "everything else was put back";
}

// Snapshots carvexctl 1.0 wrote of such a card (the second names its setting file in Latin-1)
// put it back as it was when they were taken.
TEST_F(BatchApplyTest, SnapshotsOfCarvexctl10PutTheCardBack) {
    cardsim::CardProfile profile = testsupport::TestProfile();
    profile.nv.erase(60000);
    Plug(1, profile);
    const auto taken = testsupport::StateOf(Card(1));
    const std::filesystem::path data = CARDWRIGHT_TOOL_DATA_DIR;
    for (const char* name : {"snapshot_1.0.json", "snapshot_1.0_latin1_name.json"}) {
        SCOPED_TRACE(name);
        Card(1).SetNv(60010, {3});
        Card(1).SetNv(50013, {});
        ASSERT_NE(testsupport::StateOf(Card(1)), taken);
        const CardRecord row = Restore(1, data / name);
        EXPECT_EQ(row.result.Text(), "ok");
        EXPECT_EQ(row.nv_written, 12u) << "ten NV items and the two LED items; not 60000";
        EXPECT_EQ(testsupport::StateOf(Card(1)), taken);
    }
}

}  // namespace
}  // namespace cardwright
