// `carvexctl records` and `carvexctl prune` end to end: the records as scripts read them, and
// what a prune removes and keeps of the state carvexctl leaves on a line PC.
#include <gtest/gtest.h>

#include "cardwork/batch/utc_text.h"
#include "cardwork/json/json_document.h"
#include "cardwork/records/record_schema.h"
#include "cardwork/records/record_store.h"
#include "cardwork/records/sqlite_database.h"
#include "carvex/platform/folder_lock.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using cardwright::Json;
using cardwright::RecordStore;
using cardwright::StoredRecord;
using std::chrono::system_clock;

class CarvexctlRecordsTest : public ::testing::Test {
  protected:
    fs::path State() const { return dir_.Path() / "state" / "carvex"; }
    fs::path Db() const { return State() / "records.db"; }

    testsupport::ProgramResult Run(const std::vector<std::string>& args) const {
        return testsupport::RunProgram(CARVEXCTL, args,
                                       {"XDG_STATE_HOME=" + (dir_.Path() / "state").string()});
    }
    Json Records(const std::vector<std::string>& filter) const {
        std::vector<std::string> args{"records", "--json"};
        args.insert(args.end(), filter.begin(), filter.end());
        const auto run = Run(args);
        EXPECT_EQ(run.exit_code, 0) << run.err;
        const auto parsed = cardwright::ParseJson(run.out);
        EXPECT_TRUE(parsed.value && parsed.value->is_array()) << run.out;
        return parsed.value.value_or(Json::array());
    }

    testsupport::TempDir dir_;
};

StoredRecord Written() {
    StoredRecord record;
    record.imei = "356938035643809";
    record.station = "line-3";
    record.port = "COM12";
    record.operator_name = "r.okafor";
    record.work_order = "WO-7781";
    record.setting_file = "fleet-apn.ini";
    record.setting_crc = 0xBEEF;
    record.setting_sha256 = std::string(64, 'a');
    record.description_sha256 = std::string(64, 'd');
    record.model = "QX-220";
    record.firmware = "QX220-FW-1.0.7";
    record.card_type = "QX-220 rev B";
    record.started = *cardwright::ParseUtcText("2026-03-14T09:05:31Z");
    record.ended = *cardwright::ParseUtcText("2026-03-14T09:06:02Z");
    record.seconds = 31.0;
    record.End(cardwright::WorkResult::Mismatch());
    record.defaults_left = std::vector<std::string>{"Roaming"};
    record.nv_written = 4;
    record.mismatches = {"550"};
    record.retries = 1;
    record.snapshot = "/var/lib/line/356938035643809-20260314T090531Z.json";
    record.tool_version = "carvexctl 0.9.4";
    return record;
}

TEST_F(CarvexctlRecordsTest, RecordsAsJsonGiveEveryFieldAndFilterAsAsked) {
    std::string done_uuid;
    std::string running_uuid;
    {
        RecordStore store(Db());
        StoredRecord done = Written();
        store.Begin(done);
        store.Complete(done);
        done_uuid = done.uuid;
        // Begun by this process, which still runs: left in progress by the command's open.
        StoredRecord running;
        running.imei = "356938035643810";
        running.station = "line-4";
        running.started = *cardwright::ParseUtcText("2026-03-15T10:00:00Z");
        store.Begin(running);
        running_uuid = running.uuid;
    }

    const Json all = Records({});
    ASSERT_EQ(all.size(), 2u);
    const Json& done = all[0];
    const std::vector<std::pair<std::string, Json>> fields = {
        {"uuid", done_uuid},
        {"imei", "356938035643809"},
        {"station", "line-3"},
        {"port", "COM12"},
        {"operator", "r.okafor"},
        {"work_order", "WO-7781"},
        {"setting_file", "fleet-apn.ini"},
        {"setting_crc", 0xBEEF},
        {"setting_sha256", std::string(64, 'a')},
        {"description_sha256", std::string(64, 'd')},
        {"model", "QX-220"},
        {"firmware", "QX220-FW-1.0.7"},
        {"card_type", "QX-220 rev B"},
        {"started", "2026-03-14T09:05:31Z"},
        {"ended", "2026-03-14T09:06:02Z"},
        {"seconds", 31.0},
        {"result", "verify mismatch"},
        {"defaults_left", Json::array({"Roaming"})},
        {"nv_written", 4},
        {"mismatches", Json::array({"550"})},
        {"retries", 1},
        {"snapshot", "/var/lib/line/356938035643809-20260314T090531Z.json"},
        {"tool_version", "carvexctl 0.9.4"},
        {"after_hook", nullptr},
    };
    ASSERT_EQ(done.size(), fields.size()) << done.dump();
    auto member = done.begin();
    for (const auto& [name, value] : fields) {
        EXPECT_EQ(member.key(), name);
        EXPECT_EQ(member.value(), value) << name;
        ++member;
    }
    const Json& running = all[1];
    EXPECT_EQ(running["uuid"], running_uuid);
    EXPECT_EQ(running["result"], nullptr);
    EXPECT_EQ(running["ended"], nullptr);
    EXPECT_EQ(running["operator"], nullptr);
    EXPECT_EQ(running["nv_written"], 0);

    const auto imeis = [&](const std::vector<std::string>& filter) {
        std::vector<std::string> found;
        for (const Json& record : Records(filter)) {
            found.push_back(record["imei"].get<std::string>().substr(12));
        }
        return found;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(imeis({"--imei", "356938035643810"}), V{"810"});
    EXPECT_EQ(imeis({"--result", "mismatch"}), V{"809"});
    EXPECT_EQ(imeis({"--result", "ok"}), V{});
    EXPECT_EQ(imeis({"--since", "2026-03-15"}), V{"810"});
    EXPECT_EQ(imeis({"--station", "line-3", "--since", "2026-03-14T09:05Z"}), V{"809"});
    EXPECT_EQ(imeis({"--records", Db().string(), "--station", "line-9"}), V{});

    const auto csv = Run({"records", "--csv", "--imei", "356938035643809"});
    EXPECT_EQ(csv.exit_code, 0);
    EXPECT_TRUE(csv.out.starts_with("uuid,imei,station,port,operator,work_order,")) << csv.out;
    EXPECT_NE(csv.out.find("\r\n" + done_uuid + ",356938035643809,line-3,COM12,"),
              std::string::npos);
    const auto table = Run({"records"});
    EXPECT_NE(table.out.find("2026-03-14T09:05:31Z  356938035643809  line-3   COM12  verify "
                             "mismatch\n"),
              std::string::npos)
        << table.out;
    EXPECT_NE(table.out.find("in progress"), std::string::npos);

    EXPECT_EQ(Run({"records", "--since", "14.03.2026"}).exit_code, 2);
    EXPECT_EQ(Run({"records", "--result", "good"}).exit_code, 2);
}

TEST_F(CarvexctlRecordsTest, RecordsWithoutADatabaseOrWithANewerOneSaySo) {
    const auto none = Run({"records", "--json"});
    EXPECT_EQ(none.exit_code, 0);
    EXPECT_EQ(none.out, "[]\n");
    // Asking makes no database.
    EXPECT_FALSE(fs::exists(Db()));
    const auto named = Run({"records", "--records", (dir_.Path() / "typo.db").string()});
    EXPECT_EQ(named.exit_code, 1);
    EXPECT_FALSE(fs::exists(dir_.Path() / "typo.db"));

    fs::create_directories(State());
    {
        cardwright::SqliteDatabase newer(Db(), true);
        cardwright::MigrateRecordSchema(newer);
        newer.Exec("PRAGMA user_version = " + std::to_string(cardwright::kRecordSchemaVersion + 1));
    }
    const auto refused = Run({"records"});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("newer program"), std::string::npos) << refused.err;
}

TEST_F(CarvexctlRecordsTest, PruneRemovesWhatIsOldButKeepsEachImeisOldestSnapshot) {
    const fs::path snapshots = State() / "snapshots";
    const fs::path logs = State() / "logs";
    fs::create_directories(snapshots);
    fs::create_directories(logs);
    const std::string recent = cardwright::UtcText(system_clock::now(), true);
    const std::vector<std::string> snapshot_names = {
        "356938035643809-20200101T000000Z.json",  // the oldest of 809
        "356938035643809-20200102T000000Z.json",
        "356938035643809-20200102T000000Z-2.json",
        "356938035643809-" + recent + ".json",
        "356938035643810-20200105T000000Z-2.json",  // 810's only one
        // Taken in one second: -2 before -10.
        "356938035643811-20200103T000000Z-2.json",
        "356938035643811-20200103T000000Z-10.json",
        "notes-20200101T000000Z.json",
        "356938035643809-20200101T000000Z.json.bak",
    };
    for (const std::string& name : snapshot_names) {
        testsupport::Put(snapshots / name, "{}");
    }
    // A link is not a snapshot of carvexctl's, whatever it is named: neither it nor what it
    // points to goes.
    const fs::path elsewhere = dir_.Path() / "kept.json";
    testsupport::Put(elsewhere, "{}");
    fs::create_symlink(elsewhere, snapshots / "356938035643810-20200106T000000Z.json");
    for (const std::string& name :
         {std::string("20200101T000000Z"), std::string("20200101T000000Z-2"), recent,
          std::string("keep-me"), std::string("2020-01-01")}) {
        fs::create_directories(logs / name);
        testsupport::Put(logs / name / "COM12.log", "log");
    }
    testsupport::Put(logs / "20200101T000000Z.txt", "not a run folder");
    // A station or an apply still running in an old run folder: it stays.
    const fs::path running = logs / "20200103T000000Z";
    fs::create_directories(running);
    std::optional<carvex::FolderLock> in_use = carvex::FolderLock::TryHold(running);
    ASSERT_TRUE(in_use);
    {
        // The latest attempt at 809 wrote to it and did not end ok, and one is being worked:
        // their snapshots are what the next attempts keep, and stay however old.
        RecordStore store(Db());
        for (const char* started : {"2020-01-01T00:00:00Z", "2020-01-02T00:00:00Z"}) {
            StoredRecord record = Written();
            record.started = *cardwright::ParseUtcText(started);
            record.snapshot = (snapshots / "356938035643809-20200102T000000Z.json").string();
            store.Begin(record);
            if (std::string_view(started) == "2020-01-01T00:00:00Z") {
                store.Complete(record);
            }
        }
        StoredRecord fresh = Written();
        fresh.started = system_clock::now();
        fresh.snapshot = (snapshots / "." / "356938035643809-20200102T000000Z-2.json").string();
        store.Begin(fresh);
        store.Complete(fresh);
    }

    const auto pruned = Run({"prune", "--older-than", "30", "--records"});
    ASSERT_EQ(pruned.exit_code, 0) << pruned.err;
    EXPECT_EQ(testsupport::Listing(snapshots), (std::vector<std::string>{
                                                   "356938035643809-20200101T000000Z.json",
                                                   "356938035643809-20200101T000000Z.json.bak",
                                                   "356938035643809-20200102T000000Z-2.json",
                                                   "356938035643809-20200102T000000Z.json",
                                                   "356938035643809-" + recent + ".json",
                                                   "356938035643810-20200105T000000Z-2.json",
                                                   "356938035643810-20200106T000000Z.json",
                                                   "356938035643811-20200103T000000Z-2.json",
                                                   "notes-20200101T000000Z.json",
                                               }));
    EXPECT_TRUE(fs::exists(elsewhere));
    EXPECT_EQ(testsupport::Listing(logs),
              (std::vector<std::string>{"2020-01-01", "20200101T000000Z.txt", "20200103T000000Z",
                                        recent, "keep-me"}));
    EXPECT_NE(
        pruned.out.find("kept run folder " + running.string() + ": in use by a running process"),
        std::string::npos)
        << pruned.out;
    EXPECT_NE(pruned.out.find("kept snapshot " +
                              (snapshots / "356938035643809-20200102T000000Z.json").string() +
                              ": an unfinished write of its card needs it"),
              std::string::npos)
        << pruned.out;
    EXPECT_NE(pruned.out.find("removed snapshot " +
                              (snapshots / "356938035643811-20200103T000000Z-10.json").string()),
              std::string::npos)
        << pruned.out;
    EXPECT_NE(pruned.out.find("removed run folder " + (logs / "20200101T000000Z-2").string()),
              std::string::npos);
    EXPECT_NE(pruned.out.find("removed 1 snapshot(s), 2 run folder(s), 1 record(s)"),
              std::string::npos)
        << pruned.out;
    // The old record still in progress (its process runs) stays with the recent one.
    EXPECT_EQ(RecordStore(Db()).Find({}).size(), 2u);

    in_use.reset();
    const auto ended = Run({"prune", "--older-than", "30"});
    EXPECT_EQ(ended.exit_code, 0) << ended.err;
    EXPECT_FALSE(fs::exists(running)) << "its run has ended";

    const auto again = Run({"prune", "--older-than", "30", "--records", Db().string()});
    EXPECT_EQ(again.exit_code, 0);
    EXPECT_NE(again.out.find("\nnothing to remove: none older than "), std::string::npos)
        << again.out;
    // A folder named but not there is refused before anything goes.
    EXPECT_EQ(
        Run({"prune", "--older-than", "1", "--logs", (dir_.Path() / "no").string()}).exit_code, 2);
    EXPECT_EQ(Run({"prune", "--older-than", "0"}).exit_code, 2);
}

}  // namespace
