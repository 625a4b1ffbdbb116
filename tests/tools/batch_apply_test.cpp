// apply and restore run in-process against simulated cards of one device root, the library and
// the cards on a faster clock.
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <sstream>

#include "cardsim/card_bench.h"
#include "cardsim/card_identity.h"
#include "cardwork/batch/batch_apply.h"
#include "cardwork/batch/card_restore.h"
#include "cardwork/batch/card_return.h"
#include "cardwork/batch/forwarding_card.h"
#include "cardwork/batch/run_folder.h"
#include "cardwork/batch/snapshot.h"
#include "cardwork/batch/work_refusal.h"
#include "cardwork/batch/work_stop.h"
#include "cardwork/card/card_reader.h"
#include "cardwork/card/connection_card.h"
#include "cardwork/model/setting_crc.h"
#include "carvex/platform/clock.h"
#include "tests/support/card_fixture.h"
#include "tests/support/card_state.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_data.h"

namespace cardwright {
namespace {

using cardsim::Command;
using cardsim::Fault;
using namespace std::chrono_literals;

const std::filesystem::path kDescription = testsupport::kTestData / "Config_Info.ini";
// Items of every kind, the port setting and two LED statuses.
const std::string kValues =
    "B_LOW=9\r\nB_FLAG=0\r\nB_HIGH=300\r\nBAND=3|48|9\r\nMODE=2\r\nACQ_ORDER=1\r\nBIT_B=1\r\n"
    "LIMIT=5\r\nDEVICE_STATE_INFO=1026\r\nLED_STATUS1=4,3|1,3|\r\nLED_STATUS6=8,20|\r\n";
// The NV items the file changes: the items of the test description it names, and the LED items.
constexpr size_t kItemsWritten = 13;

class BatchApplyTest : public ::testing::Test {
  protected:
    static constexpr int kScale = 10;

    void Plug(int cards, cardsim::CardProfile profile = testsupport::TestProfile()) {
        cardsim::CardBench::Options options;
        options.profile = std::move(profile);
        options.cards = cards;
        options.state_file = dir_.Path() / "card.nv";
        options.time_scale = kScale;
        bench_.emplace(std::move(options));
    }
    cardsim::SimulatedCard& Card(int number) { return bench_->Card(number); }
    const carvex::DeviceRoot& Root() const { return bench_->Root(); }

    // A setting file sealed as an export seals it.
    std::filesystem::path SettingFile(const std::string& values = kValues,
                                      const std::string& card_type = "LW-X4201") {
        const auto path = dir_.Path() / ("settings-" + std::to_string(++files_) + ".ini");
        testsupport::Put(
            path, "[DATACARD_TYPE]\r\nVALUE=" + card_type + "\r\n[DEFAULT]\r\n" + values +
                      "[CRC]\r\nVALUE=" + std::to_string(cardwright::SettingCrc(values)) + "\r\n");
        return path;
    }

    ApplyRequest Request(const std::filesystem::path& settings) {
        ApplyRequest request;
        request.settings = settings;
        request.description = kDescription;
        request.snapshots = dir_.Path() / "snapshots";
        request.run_folder = MakeRunFolder(dir_.Path() / "logs");
        request.limits = {20s, 20s};
        return request;
    }

    std::vector<CardRecord> Apply(const ApplyRequest& request, const CardHooks& hooks = {}) {
        const BatchApply apply(Root(), request);
        return apply.Run(CardsToWork(Root(), {}), hooks);
    }

    CardRecord Restore(int card, const std::filesystem::path& snapshot_file, bool force = false) {
        const SnapshotRead read = LoadSnapshot(snapshot_file);
        EXPECT_TRUE(read.snapshot) << read.error;
        return RestoreCard(Root(), Card(card).PcUiPort(), *read.snapshot, snapshot_file,
                           {.force = force,
                            .restart = true,
                            .limits = {20s, 20s},
                            .snapshots = dir_.Path() / "before-restore",
                            .run_folder = restore_logs_,
                            .facts = {}},
                           {});
    }

    // The log of a card in a run folder, by its port and, once it was read, its IMEI.
    std::string LogOf(const std::filesystem::path& folder, int card, bool by_imei = true) {
        const std::string port = "COM" + std::to_string(Card(card).PcUiPort());
        const std::string imei = cardsim::ProfileImei(Card(card).Profile()).value();
        return testsupport::Contents(folder / ((by_imei ? imei + "-" : "") + port + ".log"));
    }

    size_t Requests(int card, Command command) {
        return testsupport::RequestsOf(Card(card), command).size();
    }

    carvex::ScopedClock clock_{std::make_shared<carvex::ScaledClock>(kScale)};
    testsupport::TempDir dir_;
    std::optional<cardsim::CardBench> bench_;
    std::filesystem::path restore_logs_ = dir_.Path();
    int files_ = 0;
};

TEST_F(BatchApplyTest, EveryCardIsConfiguredVerifiedAndSnapshotted) {
    Plug(4);
    const auto before = testsupport::ConfigurationOf(Card(1));
    const auto outcomes = Apply(Request(SettingFile()));
    ASSERT_EQ(outcomes.size(), 4u);
    for (int number = 1; number <= 4; ++number) {
        const CardRecord& row = outcomes[static_cast<size_t>(number - 1)];
        SCOPED_TRACE(row.port);
        EXPECT_EQ(row.result.Text(), "ok");
        EXPECT_EQ(row.port, "COM" + std::to_string(Card(number).PcUiPort()));
        EXPECT_EQ(row.imei, cardsim::ProfileImei(Card(number).Profile()).value());
        EXPECT_EQ(row.card_type, "LW-X4201");
        EXPECT_EQ(row.firmware, "31.742.06.19.208");
        EXPECT_EQ(row.nv_written, kItemsWritten);
        EXPECT_TRUE(row.mismatches.empty());
        EXPECT_EQ(Card(number).Resets(), 1);
        EXPECT_EQ(testsupport::ConfigurationOf(Card(number)), testsupport::ConfigurationOf(Card(1)))
            << "every card holds what the first holds";

        // The snapshot holds what the card held before, for every item the write changed.
        const SnapshotRead read = LoadSnapshot(row.snapshot);
        ASSERT_TRUE(read.snapshot) << read.error;
        EXPECT_EQ(read.snapshot->imei, row.imei);
        EXPECT_EQ(read.snapshot->nv_items.size() + 2, kItemsWritten);
        for (const SavedNvItem& saved : read.snapshot->nv_items) {
            EXPECT_EQ(saved.data, before.nv.at(static_cast<uint16_t>(saved.item))) << saved.item;
        }
        ASSERT_TRUE(read.snapshot->port_setting);
        EXPECT_EQ(read.snapshot->port_setting->mask, 0x14);
    }
    EXPECT_NE(testsupport::ConfigurationOf(Card(1)), before);
    EXPECT_EQ(Card(1).Nv(60000)->at(0), 9);
    EXPECT_EQ(Card(1).PortSetting(), (std::pair<uint8_t, uint8_t>{2, 4}));
}

// A card of another type, one that does not take a write, one that never comes back after its
// restart and one that answers its reads with other bytes: each ends as such, the others ok.
TEST_F(BatchApplyTest, EachCardEndsOnItsOwn) {
    Plug(5);
    // Card 2's modem names another model; card 3 does not take NV item writes; card 4 stays
    // away after its restart; card 5 answers the read-back of what it was written with the first
    // byte inverted, the byte the items of the description look at, while the reads before the
    // write (the snapshot, the reads the new values are composed from) see its true bytes.
    Card(2).SetFault(Command::kModel, Fault::Text(Fault::Kind::kErrorReply, "LW-X4207\r\n\r\nOK"));
    Card(3).SetFault(Command::kNvWrite, Fault::Make(Fault::Kind::kNvStatus, 7));
    Card(4).SetFault(Command::kReset, Fault::Make(Fault::Kind::kNeverBack));
    Card(5).SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kOtherBytes, 0));
    const auto fifth_before = testsupport::ConfigurationOf(Card(5));
    ApplyRequest request = Request(SettingFile());
    request.limits = {20s, 10s};
    const auto outcomes = Apply(request);

    const std::vector<std::string> results = {
        "ok",
        "refused: other card type (card LW-X4207, file LW-X4201)",
        "failed at writing: the card did not take NV item 60000",
        "failed at restart: the card did not come back within 10 s",
        "verify mismatch",
    };
    ASSERT_EQ(outcomes.size(), results.size());
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(outcomes[i].result.Text(), results[i]) << "card " << i + 1;
    }
    EXPECT_EQ(Requests(2, Command::kNvWrite), 0u) << "the refused card is not written";
    EXPECT_TRUE(outcomes[1].snapshot.empty());
    EXPECT_EQ(outcomes[2].nv_written, 0u);
    EXPECT_FALSE(outcomes[2].snapshot.empty()) << "the snapshot came before the write";
    EXPECT_EQ(Requests(3, Command::kReset), 0u) << "a failed write is not restarted";
    EXPECT_EQ(outcomes[4].mismatches.size(), kItemsWritten);
    EXPECT_EQ(outcomes[4].mismatches.front(), "60000");
    EXPECT_EQ(testsupport::ConfigurationOf(Card(1)), testsupport::ConfigurationOf(Card(5)))
        << "the mismatching card was written all the same";
    const SnapshotRead fifth = LoadSnapshot(outcomes[4].snapshot);
    ASSERT_TRUE(fifth.snapshot) << fifth.error;
    for (const SavedNvItem& saved : fifth.snapshot->nv_items) {
        EXPECT_EQ(saved.data, fifth_before.nv.at(static_cast<uint16_t>(saved.item)))
            << "the snapshot holds the true bytes of item " << saved.item;
    }
}

TEST_F(BatchApplyTest, ADryRunWritesNothingAndShowsBothBytes) {
    Plug(2);
    ApplyRequest request = Request(SettingFile());
    request.dry_run = true;
    const auto outcomes = Apply(request);
    for (int number = 1; number <= 2; ++number) {
        const CardRecord& outcome = outcomes[static_cast<size_t>(number - 1)];
        EXPECT_EQ(outcome.result.Text(), "ok");
        for (const Command command :
             {Command::kNvWrite, Command::kPortSet, Command::kBackup, Command::kReset}) {
            EXPECT_EQ(Requests(number, command), 0u) << static_cast<int>(command);
        }
        ASSERT_EQ(outcome.items.size(), kItemsWritten);
        const ItemChange& low = outcome.items.front();
        EXPECT_EQ(low.item, 60000);
        EXPECT_EQ(low.captions, std::vector<std::string>({"Low byte", "Flag byte", "High word"}));
        EXPECT_EQ(low.before.value()[0], 7) << "the card's byte";
        EXPECT_EQ(low.after[0], 9) << "the file's byte";
        ASSERT_TRUE(outcome.port_setting);
        EXPECT_EQ(outcome.port_setting->after.mask, 4);
    }
    EXPECT_FALSE(std::filesystem::exists(request.snapshots)) << "not even a snapshot";
}

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

// A file that names one item: the other items the Write sends go at their defaults (as an import
// leaves them), and each written card's row names them; the port setting, which the file does
// not give, stays as each card has it, in the dry run's plan too.
TEST_F(BatchApplyTest, AFileNamingOneItemLeavesThePortSettingAndNamesTheDefaults) {
    Plug(2);
    const std::vector<std::string> defaulted = {"Flag byte",
                                                "High word",
                                                "Band",
                                                "Band extra",
                                                "Limit",
                                                "Timer",
                                                "Acquisition order",
                                                "Preferred network selection order",
                                                "Bit A",
                                                "Bit B",
                                                "Inactive",
                                                "LED level"};
    const auto settings = SettingFile("B_LOW=9\r\n");
    ApplyRequest dry = Request(settings);
    dry.dry_run = true;
    const auto planned = Apply(dry);
    ASSERT_EQ(planned[0].result.Text(), "ok");
    EXPECT_FALSE(planned[0].port_setting);
    EXPECT_EQ(planned[0].left_to_defaults, defaulted);

    const ApplyRequest request = Request(settings);
    const auto outcomes = Apply(request);
    for (int number = 1; number <= 2; ++number) {
        const CardRecord& row = outcomes[static_cast<size_t>(number - 1)];
        EXPECT_EQ(row.result.Text(), "ok") << number;
        EXPECT_EQ(row.left_to_defaults, defaulted) << number;
        EXPECT_EQ(Card(number).PortSetting(), (std::pair<uint8_t, uint8_t>{1, 0x14})) << number;
        EXPECT_EQ(Requests(number, Command::kPortSet), 0u) << number;
        EXPECT_EQ(Card(number).Nv(60000)->at(0), 9);
    }
    const std::string log = LogOf(request.run_folder, 1);
    EXPECT_NE(log.find("Port setting not written: no device state shown..."), std::string::npos)
        << log;
}

// The card answers the offline request only while the reset is awaited, and never the reset:
// the restart was not acknowledged, and the result says so (not that the card stayed).
TEST_F(BatchApplyTest, ALateOfflineReplyDoesNotAcknowledgeTheRestart) {
    Plug(1);
    Card(1).SetFault(Command::kOffline, Fault::Make(Fault::Kind::kLateReply, 9000, 1));
    Card(1).SetFault(Command::kReset, Fault::Make(Fault::Kind::kNoReply));
    const auto outcomes = Apply(Request(SettingFile()));
    EXPECT_EQ(outcomes[0].result.Text(),
              "failed at restart: the card did not acknowledge the restart");
    EXPECT_EQ(Card(1).Resets(), 0);
}

// A card unplugged during the read ends there, told as gone (the reader asked the connection),
// not as a card of another type or a broken description; the other card is not held up.
TEST_F(BatchApplyTest, ACardUnpluggedDuringTheReadIsToldAsGone) {
    Plug(2);
    Card(1).SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kVanish));
    ApplyRequest request = Request(SettingFile());
    const auto outcomes = Apply(request);
    const std::string port = "COM" + std::to_string(Card(1).PcUiPort());
    EXPECT_EQ(outcomes[0].result.Text(),
              "failed at reading: " + port + " is gone: the card was unplugged or is restarting");
    EXPECT_TRUE(outcomes[0].snapshot.empty());
    const std::string log = testsupport::Contents(request.run_folder / (port + ".log"));
    EXPECT_NE(log.find(cardwright::kCardGoneMessage), std::string::npos) << log;
    EXPECT_EQ(outcomes[1].result.Text(), "ok");
}

// A card that answers the port setting query with "no valid setting" gives none: its snapshot
// records none, and restore writes none (state 0, mask 0 would be a setting the card never had).
// The read-back of the setting apply wrote finds none valid: a mismatch, not a match.
TEST_F(BatchApplyTest, NoValidPortSettingIsRecordedAsNoneAndNotRestored) {
    Plug(1);
    Card(1).SetFault(Command::kPortGet, Fault::Make(Fault::Kind::kResult, 1));
    const auto outcomes = Apply(Request(SettingFile()));
    const CardRecord& applied = outcomes[0];
    EXPECT_EQ(applied.result.Text(), "verify mismatch");
    EXPECT_EQ(applied.mismatches, std::vector<std::string>{"port setting"});
    const SnapshotRead read = LoadSnapshot(applied.snapshot);
    ASSERT_TRUE(read.snapshot) << read.error << " / " << applied.result.Text();
    EXPECT_FALSE(read.snapshot->port_setting);

    Card(1).ClearFaults();
    Card(1).ClearRequests();
    const auto written = Card(1).PortSetting();
    const CardRecord restored = Restore(1, applied.snapshot);
    EXPECT_EQ(restored.result.Text(),
              "verify mismatch; not put back, as the snapshot holds none: the port setting");
    EXPECT_EQ(restored.mismatches, std::vector<std::string>{"port setting"});
    EXPECT_EQ(Requests(1, Command::kPortSet), 0u);
    EXPECT_EQ(Card(1).PortSetting(), written);

    // A dry run shows no card setting where the card gives none.
    Card(1).SetFault(Command::kPortGet, Fault::Make(Fault::Kind::kResult, 1));
    ApplyRequest dry = Request(SettingFile());
    dry.dry_run = true;
    const auto planned = Apply(dry);
    ASSERT_EQ(planned[0].result.Text(), "ok");
    ASSERT_TRUE(planned[0].port_setting);
    EXPECT_FALSE(planned[0].port_setting->before);
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

// A card seam whose first Open comes after a shell has taken the card's PC UI port: the card is
// back from its restart, but another program holds it.
class TakenOnReturn : public ForwardingCard {
  public:
    TakenOnReturn(cardwright::CardAccess& card, std::filesystem::path link)
        : ForwardingCard(card), link_(std::move(link)) {}
    bool Open() override {
        if (!holder) {
            const std::string tty = std::filesystem::read_symlink(link_).string();
            holder.emplace("/bin/sh", std::vector<std::string>{
                                          "-c", "exec 3<>" + tty + "; echo held; read line"});
            EXPECT_EQ(holder->Read(5), "held\n");
        }
        return Inner().Open();
    }
    std::optional<testsupport::RunningProgram> holder;

  private:
    std::filesystem::path link_;
};

TEST_F(BatchApplyTest, ACardBackButHeldByAnotherProgramIsToldSo) {
    Plug(1);
    const int port = Card(1).PcUiPort();
    cardwright::ConnectionCard restarted(Root(), port);
    ASSERT_TRUE(restarted.Open());
    ASSERT_TRUE(restarted.Restart());
    restarted.Close();

    cardwright::ConnectionCard connection(Root(), port);
    TakenOnReturn card(connection, Root().ComDirectory() / ("COM" + std::to_string(port)));
    const ReturnLimits limits{20s, 5s};
    const CardReturn back = WaitForReturn(Root(), port, card, limits, WorkStop());
    ASSERT_TRUE(card.holder);
    EXPECT_EQ(back.outcome, CardReturn::Outcome::kNotBack);
    const std::string words = ReturnWords(back, limits);
    EXPECT_NE(words.find("the card came back, but within 5 s its port could not be used: "),
              std::string::npos)
        << words;
    EXPECT_NE(words.find("is in use by sh (pid " + std::to_string(card.holder->Pid()) + ")"),
              std::string::npos)
        << words;
}

// A setting file and a description of one file name: each is kept in the run folder as it was
// checked, neither in place of the other.
TEST_F(BatchApplyTest, ASettingFileAndADescriptionOfOneNameAreBothKept) {
    Plug(1);
    const auto named = dir_.Path() / "values" / "Config_Info.ini";
    std::filesystem::create_directories(named.parent_path());
    std::filesystem::copy_file(SettingFile(), named);
    ApplyRequest request = Request(named);
    const auto outcomes = Apply(request);
    EXPECT_EQ(outcomes[0].result.Text(), "ok");
    EXPECT_EQ(Card(1).Nv(60000)->at(0), 9);
    const auto kept = testsupport::Listing(request.run_folder);
    size_t found = 0;
    for (const std::string& name : kept) {
        const std::string text = testsupport::Contents(request.run_folder / name);
        if (text == testsupport::Contents(named) || text == testsupport::Contents(kDescription)) {
            ++found;
        }
    }
    EXPECT_EQ(found, 2u) << "both files are kept as they were";
}

// A card whose log cannot be written is not touched, and the row says it was the log (not the
// card) that failed; so does restore's.
TEST_F(BatchApplyTest, ALogThatCannotBeWrittenIsToldAsSuch) {
    Plug(1);
    const std::string port = "COM" + std::to_string(Card(1).PcUiPort());
    ApplyRequest request = Request(SettingFile());
    std::filesystem::create_directory(request.run_folder / (port + ".log"));
    const auto outcomes = Apply(request);
    EXPECT_EQ(outcomes[0].result.Text(), "failed at its log: cannot write " +
                                             (request.run_folder / (port + ".log")).string() +
                                             ": it is a folder");

    const auto snapshot = dir_.Path() / "whole.json";
    CardSnapshot saved;
    saved.imei = cardsim::ProfileImei(Card(1).Profile()).value();
    testsupport::Put(snapshot, SnapshotText(saved));
    std::filesystem::create_directory(dir_.Path() / (port + ".log"));
    EXPECT_EQ(Restore(1, snapshot).result.Text(), "failed at its log: cannot write " +
                                                      (dir_.Path() / (port + ".log")).string() +
                                                      ": it is a folder");
    EXPECT_TRUE(Card(1).Requests().empty()) << "the card was not touched";
}

// A station works the cards plugged into one port in one run folder, one after another; a card
// may be tried again. Each attempt keeps a log of its own, which its record names: none is added
// to another's or renamed away from the record that names it.
TEST_F(BatchApplyTest, EachAttemptOnAPortKeepsALogOfItsOwn) {
    Plug(1);
    ApplyRequest request = Request(SettingFile());
    request.restart = false;
    const BatchApply apply(Root(), request);
    std::vector<std::string> logs;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const CardRecord record = apply.ApplyTo(Card(1).PcUiPort(), {});
        EXPECT_EQ(record.result.Text(), "ok");
        logs.push_back(record.log);
    }
    EXPECT_EQ(std::set<std::string>(logs.begin(), logs.end()).size(), 3u);
    for (const std::string& log : logs) {
        const std::string text = testsupport::Contents(log);
        size_t reads = 0;
        for (size_t at = 0; (at = text.find("Read back:", at)) != std::string::npos; ++at) {
            ++reads;
        }
        EXPECT_EQ(reads, 1u) << log;
    }
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

// A file that fails its seal or holds a value that is no number is refused before any card is
// asked anything.
TEST_F(BatchApplyTest, ARefusedFileTouchesNoCard) {
    Plug(2);
    auto broken_seal = SettingFile();
    std::string text = testsupport::Contents(broken_seal);
    testsupport::Put(broken_seal, text.replace(text.find("B_LOW=9"), 7, "B_LOW=8"));
    const struct {
        std::filesystem::path file;
        const char* why;
    } cases[] = {
        {broken_seal, "its CRC does not match its values"},
        {SettingFile("B_LOW=9\r\nBAND=1|x|7\r\n"), "Value of BAND \"1|x|7\" is not a decimal"},
    };
    for (const auto& c : cases) {
        try {
            Apply(Request(c.file));
            ADD_FAILURE() << c.file << " was not refused";
        } catch (const WorkRefusal& refusal) {
            EXPECT_NE(std::string(refusal.what()).find(c.why), std::string::npos) << refusal.what();
        }
    }
    EXPECT_TRUE(Card(1).Requests().empty());
    EXPECT_TRUE(Card(2).Requests().empty());
}

// A card that needed a second attempt at an NV request is ok, and its record shows the retry;
// the other card's shows none.
TEST_F(BatchApplyTest, ARetriedCardShowsItsRetries) {
    Plug(2);
    Card(1).SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kNoReply, 0, 1));
    const auto outcomes = Apply(Request(SettingFile()));
    EXPECT_EQ(outcomes[0].result.Text(), "ok");
    EXPECT_EQ(outcomes[0].retries, 1u);
    EXPECT_EQ(outcomes[1].result.Text(), "ok");
    EXPECT_EQ(outcomes[1].retries, 0u);
}

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
