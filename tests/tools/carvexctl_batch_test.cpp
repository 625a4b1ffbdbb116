// carvexctl cards, apply and restore as a technician runs them, against simulated cards plugged
// in together, at the cards' real timings.
#include <gtest/gtest.h>
#include <signal.h>

#include <map>

#include "cardsim/card_bench.h"
#include "cardwork/batch/snapshot.h"
#include "cardwork/json/json_document.h"
#include "cardwork/model/setting_crc.h"
#include "cardwork/records/record_store.h"
#include "cardwork/records/sqlite_database.h"
#include "carvex/platform/host_name.h"
#include "tests/support/card_fixture.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"
#include "tests/support/setting_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_data.h"
#include "tests/support/wait_until.h"
#include "tests/tools/carvexctl_batch_fixture.h"

namespace {

using cardsim::Command;
using cardsim::Fault;
using namespace testsupport::batch;
using testsupport::RunProgram;

TEST_F(CarvexctlBatchTest, CardsListsEveryCardAskedOnItsOwnConnection) {
    Plug(2);
    auto r = Run({"cards"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                                "PC UI  MODEM  IMEI             MODEL     FIRMWARE",
                                "COM12  COM13  356789012345678  LW-X4201  31.742.06.19.208",
                                "COM22  COM23  356789012345680  LW-X4201  31.742.06.19.208",
                            }));
    r = Run({"cards", "--port", "COM22", "--port", "COM32"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                                "PC UI  MODEM  IMEI             MODEL     FIRMWARE",
                                "COM22  COM23  356789012345680  LW-X4201  31.742.06.19.208",
                                "COM32  -      no card on COM32",
                            }));
}

// The second program on a card is told who has it; the first one's work goes on and ends well.
TEST_F(CarvexctlBatchTest, ASecondProgramOnTheCardIsRefusedTheFirstCompletes) {
    Plug(1);
    const auto report = dir_.Path() / "report.json";
    testsupport::RunningProgram first(
        CARVEXCTL,
        {"apply", SettingFile(), "--description", kDescription, "--report", report.string()},
        Environment());
    ASSERT_TRUE(WaitForRequest(Card(1), Command::kNvRead, std::chrono::seconds(30)))
        << "the first program reads the card";
    const auto second = Run({"info", "--port", "COM12"});
    EXPECT_EQ(second.exit_code, 1);
    EXPECT_TRUE(Has(second.err, "is in use by carvexctl (pid " + std::to_string(first.Pid()) + ")"))
        << second.err;

    const std::string out = first.Read(1 << 20);
    EXPECT_EQ(first.Wait(), 0) << out;
    EXPECT_TRUE(Has(out, "\n1 of 1 card ok\n")) << out;
    EXPECT_TRUE(
        Has(out, "settings.ini: 12 items are left to their defaults: Flag byte, High word, "))
        << out;
    EXPECT_EQ(Card(1).Resets(), 1);
    EXPECT_EQ(Card(1).Nv(60000)->at(0), 9);
    const auto json = cardwright::ParseJson(testsupport::Contents(report));
    ASSERT_TRUE(json.value) << json.error;
    const auto& row = json.value->at(0);
    EXPECT_EQ(row["result"], "ok");
    EXPECT_EQ(row["imei"], "356789012345678");
    EXPECT_TRUE(cardwright::LoadSnapshot(row["snapshot"].get<std::string>()).snapshot)
        << "the snapshot is under $XDG_STATE_HOME";
}

TEST_F(CarvexctlBatchTest, ACardThatFailsEndsWithStatusOneTheOthersOk) {
    Plug(2);
    Card(2).SetFault(Command::kNvWrite, Fault::Make(Fault::Kind::kNvStatus, 7));
    const auto report = dir_.Path() / "report.csv";
    const auto r =
        Run({"apply", SettingFile(), "--description", kDescription, "--no-restart", "--report",
             report.string(), "--snapshots", (dir_.Path() / "snapshots").string()});
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_TRUE(Has(r.out, "\n1 of 2 cards ok\n")) << r.out;
    EXPECT_TRUE(Has(r.err, "COM22: failed at writing")) << "progress as plain lines: " << r.err;
    const auto rows = Lines(testsupport::Contents(report));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_TRUE(rows[1].starts_with("COM12,356789012345678,31.742.06.19.208,LW-X4201,ok,11,,"))
        << rows[1];
    EXPECT_TRUE(
        rows[2].starts_with("COM22,356789012345680,31.742.06.19.208,LW-X4201,failed at "
                            "writing: the card did not take NV item 60000,0,,"))
        << rows[2];
    EXPECT_EQ(testsupport::Listing(dir_.Path() / "snapshots").size(), 2u);
    EXPECT_EQ(Card(1).Resets(), 0);
}

// Bad command lines and refused files end with 2, before any card is asked anything.
TEST_F(CarvexctlBatchTest, RefusalsEndWithStatusTwoTouchingNoCard) {
    Plug(1);
    const std::string settings = SettingFile();
    std::string text = testsupport::Contents(settings);
    const auto broken = dir_.Path() / "broken.ini";
    testsupport::Put(broken, text.replace(text.find("B_LOW=9"), 7, "B_LOW=8"));
    const auto edited = dir_.Path() / "edited.json";
    cardwright::CardSnapshot snapshot;
    snapshot.imei = "356789012345678";
    std::string snapshot_text = cardwright::SnapshotText(snapshot);
    const auto whole = dir_.Path() / "whole.json";
    testsupport::Put(whole, cardwright::SnapshotText(snapshot));
    testsupport::Put(edited, snapshot_text.replace(snapshot_text.find("3567"), 0, "x"));
    // Reports that could be written only after every card was: found before any card is.
    const auto folder = dir_.Path() / "folder.json";
    std::filesystem::create_directory(folder);
    const auto nowhere = (dir_.Path() / "missing" / "r.csv").string();

    const struct {
        std::vector<std::string> args;
        const char* why;
    } cases[] = {
        {{"apply", broken.string(), "--description", kDescription}, "its CRC does not match"},
        {{"apply", settings, "--description", kDescription, "--report", "r.txt"},
         "must end in .csv or .json"},
        {{"apply", settings, "--description", kDescription, "--report", folder.string()},
         "is a folder"},
        {{"apply", settings, "--description", kDescription, "--report", nowhere},
         "cannot create a file in"},
        {{"restore", whole.string(), "--report", folder.string()}, "is a folder"},
        {{"restore", whole.string(), "--force", "--port", "COM12", "--report", nowhere},
         "cannot create a file in"},
        // Forced, a card of any IMEI is written: only the one named.
        {{"restore", whole.string(), "--force"}, "--force needs --port"},
        {{"snapshots", "--imei", "35678901234567x"}, "an IMEI is 1 to 15 digits"},
        // Snapshot folders that could not be made, found before the first card's write.
        {{"apply", settings, "--description", kDescription, "--snapshots", settings + "/s"},
         "settings.ini is not a folder"},
        {{"restore", whole.string(), "--force", "--port", "COM12", "--snapshots", whole.string()},
         "whole.json is not a folder"},
        {{"apply", settings, "--description", kDescription, "--logs", settings},
         "cannot make the folder"},
        {{"apply", settings, "--description", kDescription, "--jobs", "0"}, "--jobs"},
        {{"apply", settings, "--description", kDescription, "--port", "COM1x"}, "COM1x"},
        {{"apply", settings}, "cardwright holds no Config_Info.ini"},
        {{"restore", edited.string()}, "it was changed after it was written"},
        {{"restore", (dir_.Path() / "none.json").string()}, "does not exist"},
        {{"restore", edited.string(), "--port", "COM12", "--port", "COM22"}, "name one --port"},
    };
    for (const auto& c : cases) {
        const auto r = Run(c.args);
        EXPECT_EQ(r.exit_code, 2) << c.args[1] << "\n" << r.err;
        EXPECT_TRUE(Has(r.err, c.why)) << c.why << "\n" << r.err;
    }
    EXPECT_TRUE(Card(1).Requests().empty()) << "no card was touched";
    EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "state" / "carvex" / "snapshots"));
}

// Standard output into a reader that is gone by the end (a pager quit, tee ended by the same
// Ctrl-C): the first line out ends the program (here a dry run's long listing, more than the
// output holds back), so the run's files are written before it.
TEST_F(CarvexctlBatchTest, AReaderOfTheOutputThatWentAwayLosesNoRunFile) {
    Plug(4);
    const auto report = dir_.Path() / "report.json";
    const auto logs = dir_.Path() / "logs";
    const std::string command = "\"$0\" apply " + SettingFile() + " --description " + kDescription +
                                " --dry-run --all --report " + report.string() + " --logs " +
                                logs.string() + " | true";
    const auto r = RunProgram("/bin/sh", {"-c", command, CARVEXCTL}, Environment());
    ASSERT_EQ(r.exit_code, 0) << r.err << "(the status of true)";
    const auto run = *std::filesystem::directory_iterator(logs);
    EXPECT_TRUE(std::filesystem::exists(run.path() / "summary.json"));
    EXPECT_TRUE(std::filesystem::exists(run.path() / "summary.csv"));
    EXPECT_TRUE(std::filesystem::exists(report));
}

// A device root with no card: apply ends with 1 having begun no run, so it leaves no run folder
// without a summary behind.
TEST_F(CarvexctlBatchTest, NoCardToWorkLeavesNoRunFolderBehind) {
    const auto empty_root = dir_.Path() / "no-cards";
    std::filesystem::create_directory(empty_root);
    const auto logs = dir_.Path() / "logs";
    const auto r = RunProgram(
        CARVEXCTL, {"apply", SettingFile(), "--description", kDescription, "--logs", logs.string()},
        {"CARVEX_ROOT=" + empty_root.string(),
         "XDG_STATE_HOME=" + (dir_.Path() / "state").string()});
    EXPECT_EQ(r.exit_code, 1) << r.err;
    for (const auto& run : std::filesystem::directory_iterator(logs)) {
        EXPECT_TRUE(std::filesystem::exists(run.path() / "summary.csv")) << run.path();
    }
}

// A dry run lists per card the NV items the file would change, by caption, number and bytes, and
// says how many of those it would write; --all adds the others. Nothing is written.
TEST_F(CarvexctlBatchTest, ADryRunListsOnlyTheItemsThatWouldChange) {
    Plug(1);
    const std::vector<std::string> dry = {"apply", SettingFile(), "--description", kDescription,
                                          "--dry-run"};
    const auto differing = Run(dry);
    ASSERT_EQ(differing.exit_code, 0) << differing.err;
    std::vector<std::string> with_all = dry;
    with_all.emplace_back("--all");
    const auto all = Run(with_all);
    ASSERT_EQ(all.exit_code, 0) << all.err;
    EXPECT_TRUE(Has(differing.out, "COM12 (IMEI 356789012345678): "));
    const auto count = [](const std::string& text, const std::string& part) {
        size_t found = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++found;
        }
        return found;
    };
    const size_t listed = count(differing.out, "\n  NV item ");
    const size_t listed_all = count(all.out, "\n  NV item ");
    EXPECT_GT(listed, 0u) << differing.out;
    EXPECT_LT(listed, listed_all) << all.out;
    EXPECT_TRUE(Has(differing.out, ": " + std::to_string(listed) + " of " +
                                       std::to_string(listed_all) +
                                       " NV items and the port setting would change "
                                       "(--all lists the other " +
                                       std::to_string(listed_all - listed) + ")\n"))
        << differing.out;
    EXPECT_TRUE(Has(differing.out, "  NV item 60000 (Low byte, Flag byte, High word):\n"))
        << differing.out;
    EXPECT_FALSE(Has(differing.out, "unchanged")) << differing.out;
    EXPECT_EQ(count(all.out, ": unchanged\n"), listed_all - listed) << all.out;
    EXPECT_TRUE(testsupport::RequestsOf(Card(1), Command::kNvWrite).empty());
}

// A summary that cannot be written (its name taken by a folder, as a full disk would fail it) is
// told and ends with 1; the report asked for and the other summary are written all the same.
TEST_F(CarvexctlBatchTest, ASummaryThatCannotBeWrittenLeavesTheReport) {
    Plug(1);
    const auto report = dir_.Path() / "report.csv";
    const auto logs = dir_.Path() / "logs";
    testsupport::RunningProgram apply(
        CARVEXCTL,
        {"apply", SettingFile(), "--description", kDescription, "--no-restart", "--report",
         report.string(), "--logs", logs.string()},
        Environment());
    ASSERT_TRUE(WaitForRequest(Card(1), Command::kNvWrite, std::chrono::seconds(30)));
    const auto run = *std::filesystem::directory_iterator(logs);
    std::filesystem::create_directory(run.path() / "summary.json");
    const std::string out = apply.Read(1 << 20);
    EXPECT_EQ(apply.Wait(), 1) << out;
    const auto rows = Lines(testsupport::Contents(report));
    ASSERT_EQ(rows.size(), 2u) << out;
    EXPECT_TRUE(rows[1].starts_with("COM12,356789012345678,31.742.06.19.208,LW-X4201,ok,"))
        << rows[1];
    EXPECT_EQ(testsupport::Contents(run.path() / "summary.csv"), testsupport::Contents(report));
}

// Ctrl-C or SIGTERM while the first of two cards (worked one at a time) is written: the second is
// not begun. After one SIGTERM the card being written is finished; a second Ctrl-C breaks it off
// and ends with 130. The report and the run's summary are written either way.
TEST_F(CarvexctlBatchTest, SignalsDuringAWriteLeaveTheReportAndTheSummary) {
    const struct {
        std::vector<int> signals;
        int status;
        const char* first;
    } cases[] = {
        {{SIGTERM}, 1, "ok"},
        {{SIGINT, SIGINT}, 130, "interrupted at writing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        Plug(2);
        const auto report = dir_.Path() / ("report-" + std::to_string(c.status) + ".csv");
        const auto logs = dir_.Path() / ("logs-" + std::to_string(c.status));
        testsupport::RunningProgram apply(
            CARVEXCTL,
            {"apply", SettingFile(), "--description", kDescription, "--jobs", "1", "--no-restart",
             "--report", report.string(), "--logs", logs.string()},
            Environment());
        ASSERT_TRUE(WaitForRequest(Card(1), Command::kNvWrite, std::chrono::seconds(30)));
        const auto card_log = [&] {
            const auto run = *std::filesystem::directory_iterator(logs);
            return testsupport::Contents(run.path() / "356789012345678-COM12.log");
        };
        for (const int signal : c.signals) {
            ASSERT_EQ(::kill(apply.Pid(), signal), 0);
            // Signals of one kind sent at once may arrive as one: each is sent once the card's
            // log shows the one before it arrived.
            ASSERT_TRUE(testsupport::WaitUntil([&] { return Has(card_log(), "Asked to stop ("); },
                                               std::chrono::seconds(30)));
        }
        const std::string out = apply.Read(1 << 20);
        EXPECT_EQ(apply.Wait(), c.status) << out;
        EXPECT_TRUE(Card(2).Requests().empty()) << "the second card was not begun";

        const auto rows = Lines(testsupport::Contents(report));
        ASSERT_EQ(rows.size(), 3u) << out;
        EXPECT_TRUE(rows[1].starts_with("COM12,356789012345678,31.742.06.19.208,LW-X4201," +
                                        std::string(c.first) + ","))
            << rows[1];
        EXPECT_TRUE(rows[2].starts_with("COM22,,,,interrupted at opening the card,")) << rows[2];
        const auto run = *std::filesystem::directory_iterator(logs);
        EXPECT_EQ(testsupport::Contents(run.path() / "summary.csv"), testsupport::Contents(report));
        const auto summary =
            cardwright::ParseJson(testsupport::Contents(run.path() / "summary.json"));
        ASSERT_TRUE(summary.value) << summary.error;
        EXPECT_EQ(summary.value->size(), 2u);
        const std::string log = testsupport::Contents(run.path() / "356789012345678-COM12.log");
        const bool broken_off = c.status == 130;
        EXPECT_EQ(Has(log, "Interrupted at writing (SIGINT)"), broken_off) << log;
        EXPECT_TRUE(Has(out, "Stopped by " + std::string(broken_off ? "SIGINT" : "SIGTERM")))
            << out;
    }
}

// Every card a run works leaves one record in the database: the run's facts, the card's own, and
// how it ended; the card written also the bytes of each item before and after.
TEST_F(CarvexctlBatchTest, ApplyLeavesARecordOfEveryCardItWorked) {
    Plug(3);
    Card(2).SetFault(Command::kModel, Fault::Text(Fault::Kind::kErrorReply, "LW-X4207\r\n\r\nOK"));
    Card(3).SetFault(Command::kNvWrite, Fault::Make(Fault::Kind::kNvStatus, 7));
    const auto db = dir_.Path() / "records.db";
    const std::string settings = SettingFile();
    const auto r = Run({"apply", settings, "--description", kDescription, "--no-restart",
                        "--records", db.string(), "--station", "line-3", "--operator", "r.okafor",
                        "--work-order", "WO-7781"});
    EXPECT_EQ(r.exit_code, 1) << r.err;

    const auto listed = Run({"records", "--records", db.string(), "--json"});
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    const auto parsed = cardwright::ParseJson(listed.out);
    ASSERT_TRUE(parsed.value && parsed.value->size() == 3) << listed.out;
    std::map<std::string, cardwright::Json> by_port;
    for (const cardwright::Json& record : *parsed.value) {
        by_port[record["port"].get<std::string>()] = record;
    }
    const std::map<std::string, std::string> results = {
        {"COM12", "ok"},
        {"COM22", "refused: other card type (card LW-X4207, file LW-X4201)"},
        {"COM32", "failed at writing: the card did not take NV item 60000"},
    };
    ASSERT_EQ(by_port.size(), results.size());
    for (const auto& [port, result] : results) {
        SCOPED_TRACE(port);
        const cardwright::Json& record = by_port[port];
        EXPECT_EQ(record["result"], result);
        EXPECT_EQ(record["station"], "line-3");
        EXPECT_EQ(record["operator"], "r.okafor");
        EXPECT_EQ(record["work_order"], "WO-7781");
        EXPECT_EQ(record["setting_file"], settings);
        EXPECT_EQ(record["setting_crc"], cardwright::SettingCrc(kValues));
        EXPECT_EQ(record["setting_sha256"].get<std::string>().size(), 64u);
        EXPECT_EQ(record["description_sha256"], by_port["COM12"]["description_sha256"]);
        EXPECT_TRUE(record["tool_version"].get<std::string>().starts_with("carvexctl "));
        EXPECT_TRUE(record["imei"].get<std::string>().starts_with("3567890123456"));
        EXPECT_NE(record["ended"], nullptr);
        EXPECT_TRUE(record["after_hook"].is_null());
    }
    const cardwright::Json& ok = by_port["COM12"];
    EXPECT_EQ(ok["nv_written"], 11);
    EXPECT_EQ(ok["mismatches"], cardwright::Json::array());
    EXPECT_TRUE(std::filesystem::exists(ok["snapshot"].get<std::string>()));
    EXPECT_EQ(by_port["COM22"]["card_type"], "LW-X4207");
    EXPECT_EQ(by_port["COM22"]["snapshot"], nullptr);
    EXPECT_EQ(by_port["COM32"]["nv_written"], 0);
    EXPECT_NE(by_port["COM32"]["snapshot"], nullptr) << "the snapshot came before the write";

    const cardwright::RecordStore store(db, cardwright::RecordStore::IfMissing::kRefuse);
    const auto written = store.Find({.imei = ok["imei"].get<std::string>()}, true);
    ASSERT_EQ(written.size(), 1u);
    ASSERT_EQ(written[0].items.size(), 12u);
    for (const cardwright::RecordItem& item : written[0].items) {
        ASSERT_TRUE(item.before && item.after) << item.item;
        EXPECT_EQ(item.after->size(), item.item == "port setting" ? 2u : 128u) << item.item;
    }
    EXPECT_EQ(written[0].items.back().item, "port setting");
    EXPECT_EQ(written[0].items.back().after, (std::vector<uint8_t>{2, 4}));
    EXPECT_EQ(Card(1).Nv(60000)->at(0), written[0].items.front().after->at(0));

    // A dry run writes no records (and still finds card 2 of another type).
    const auto dry = dir_.Path() / "dry.db";
    const auto planned = Run(
        {"apply", settings, "--description", kDescription, "--dry-run", "--records", dry.string()});
    EXPECT_TRUE(Has(planned.out, "Dry run: nothing was written.")) << planned.out;
    EXPECT_FALSE(std::filesystem::exists(dry));

    // Putting the card back is recorded too, the snapshot as its file.
    const std::string snapshot = ok["snapshot"].get<std::string>();
    const auto restored =
        Run({"restore", snapshot, "--port", "COM12", "--no-restart", "--records", db.string()});
    EXPECT_EQ(restored.exit_code, 0) << restored.err;
    const auto both = store.Find({.imei = ok["imei"].get<std::string>()});
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1].setting_file, snapshot);
    EXPECT_EQ(both[1].result, "ok");
}

// A run killed during a write leaves its card's record begun at the step it was at: the next
// open of the database marks it interrupted there. The station is the host name.
TEST_F(CarvexctlBatchTest, ARecordOfARunKilledDuringAWriteIsInterruptedAtWriting) {
    Plug(1);
    const auto db = dir_.Path() / "records.db";
    {
        testsupport::RunningProgram apply(CARVEXCTL,
                                          {"apply", SettingFile(), "--description", kDescription,
                                           "--no-restart", "--records", db.string()},
                                          Environment());
        ASSERT_TRUE(WaitForRequest(Card(1), Command::kNvWrite, std::chrono::seconds(30)));
        ASSERT_EQ(::kill(apply.Pid(), SIGKILL), 0);
    }
    const auto listed = Run({"records", "--records", db.string(), "--json"});
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    EXPECT_TRUE(Has(listed.err, "1 record(s) of programs that ended without completing them"))
        << listed.err;
    const auto parsed = cardwright::ParseJson(listed.out);
    ASSERT_TRUE(parsed.value && parsed.value->size() == 1) << listed.out;
    const cardwright::Json& record = parsed.value->front();
    EXPECT_EQ(record["result"], "interrupted at writing");
    EXPECT_EQ(record["imei"], "356789012345678");
    EXPECT_EQ(record["station"], carvex::HostName());
    EXPECT_EQ(record["ended"], nullptr);
}

// A card whose record cannot be begun is not written: its work ends before the first write, and
// the run says which records were not kept.
TEST_F(CarvexctlBatchTest, ACardWhoseRecordCannotBeBegunIsNotWritten) {
    Plug(1);
    const auto db = dir_.Path() / "records.db";
    {
        const cardwright::RecordStore made(db);
        cardwright::SqliteDatabase raw(db, false);
        raw.Exec(
            "CREATE TRIGGER full BEFORE INSERT ON records BEGIN SELECT RAISE(ABORT, 'disk is "
            "full'); END");
    }
    const auto r = Run({"apply", SettingFile(), "--description", kDescription, "--no-restart",
                        "--records", db.string()});
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_TRUE(Has(r.out, "refused: its record could not be begun: ")) << r.out;
    EXPECT_TRUE(Has(r.err, "1 record(s) could not be written:\n  COM12: ")) << r.err;
    EXPECT_TRUE(testsupport::RequestsOf(Card(1), Command::kNvWrite).empty());
}

}  // namespace
