// apply on simulated cards: each card configured, verified, logged and snapshotted on its own,
// a dry run, files refused, cards pulled or taken by another program, retries.
#include "tests/tools/batch_apply_fixture.h"

namespace cardwright {
namespace {

using namespace batch_test;

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

}  // namespace
}  // namespace cardwright
