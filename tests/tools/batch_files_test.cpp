// What apply and restore keep on the disk and show: snapshots, reports, the progress board, and
// the JSON beneath the first two.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <thread>

#include "cardwork/batch/run_summary.h"
#include "cardwork/batch/sha256.h"
#include "cardwork/batch/snapshot.h"
#include "cardwork/batch/snapshot_shelf.h"
#include "cardwork/batch/utc_text.h"
#include "cardwork/json/json_document.h"
#include "tests/support/files.h"
#include "tests/support/forked_child.h"
#include "tests/support/temp_dir.h"
#include "tools/carvexctl/display_width.h"
#include "tools/carvexctl/error_terminal.h"
#include "tools/carvexctl/plan_listing.h"
#include "tools/carvexctl/progress_board.h"
#include "tools/carvexctl/summary_table.h"

namespace carvexctl {
namespace {

using namespace cardwright;

CardSnapshot Example() {
    CardSnapshot snapshot;
    snapshot.imei = "356789012345678";
    snapshot.firmware = "31.742.06.19.208";
    snapshot.card_type = "LW-X4201";
    snapshot.port = "COM12";
    snapshot.taken = "2026-03-14T09:05:31Z";
    snapshot.settings = "/bench/cards.ini";
    cardwright::NvData data{};
    data[0] = 7;
    data[127] = 0xA5;
    snapshot.nv_items = {{60000, data}, {60060, std::nullopt}};
    snapshot.led_items = {{50012, cardwright::NvData{}}, {50013, std::nullopt}};
    snapshot.port_setting = cardwright::DeviceState{1, 0x14};
    return snapshot;
}

TEST(Snapshot, ComesBackAsItWasWritten) {
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    CardSnapshot snapshot = Example();
    SnapshotRead read = ReadSnapshotText(SnapshotText(snapshot));
    ASSERT_TRUE(read.snapshot) << read.error;
    EXPECT_EQ(*read.snapshot, snapshot);

    snapshot.port_setting.reset();
    read = ReadSnapshotText(SnapshotText(snapshot));
    ASSERT_TRUE(read.snapshot) << read.error;
    EXPECT_EQ(*read.snapshot, snapshot);
}

// Every change of a byte, and every cut, is told from a whole snapshot.
TEST(Snapshot, AnEditedOrCutSnapshotIsRefused) {
    const std::string text = SnapshotText(Example());
    for (size_t at = 0; at < text.size(); ++at) {
        std::string edited = text;
        edited[at] = static_cast<char>(edited[at] ^ 0x01);
        EXPECT_FALSE(ReadSnapshotText(edited).snapshot) << "byte " << at << " changed";
        EXPECT_FALSE(ReadSnapshotText(text.substr(0, at)).snapshot) << "cut at " << at;
    }
    std::string edited = text;
    edited.replace(edited.find("\"data\": \"07"), 11, "\"data\": \"08");
    EXPECT_EQ(ReadSnapshotText(edited).error,
              "its checksum does not match its contents: it was changed after it was written");
}

// Files carvexctl 1.0 wrote (apply against a simulated card that did not hold NV item 60000; the
// second from a setting file whose name is Latin-1, not UTF-8): still read as they were taken.
const std::filesystem::path kToolData = CARDWRIGHT_TOOL_DATA_DIR;

TEST(Snapshot, OnesWrittenByCarvexctl10AreReadAsTheyWereTaken) {
    const SnapshotRead read = LoadSnapshot(kToolData / "snapshot_1.0.json");
    ASSERT_TRUE(read.snapshot) << read.error;
    const CardSnapshot& snapshot = *read.snapshot;
    EXPECT_EQ(snapshot.imei, "356789012345678");
    EXPECT_EQ(snapshot.firmware, "31.742.06.19.208");
    EXPECT_EQ(snapshot.card_type, "LW-X4201");
    EXPECT_EQ(snapshot.port, "COM12");
    EXPECT_EQ(snapshot.taken, "2026-12-09T03:02:39Z");
    EXPECT_EQ(snapshot.settings, "/tmp/jsonsnap/cards.ini");
    ASSERT_EQ(snapshot.nv_items.size(), 11u);
    EXPECT_EQ(snapshot.nv_items[0], (SavedNvItem{60000, std::nullopt}));
    EXPECT_EQ(snapshot.nv_items[4].item, 60030);
    ASSERT_TRUE(snapshot.nv_items[4].data);
    EXPECT_EQ(std::vector<uint8_t>(snapshot.nv_items[4].data->begin(),
                                   snapshot.nv_items[4].data->begin() + 5),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
    ASSERT_EQ(snapshot.led_items.size(), 2u);
    EXPECT_EQ(snapshot.led_items[1].item, 50013);
    EXPECT_EQ(snapshot.port_setting, (cardwright::DeviceState{1, 0x14}));
    EXPECT_EQ(SnapshotText(snapshot), testsupport::Contents(kToolData / "snapshot_1.0.json"))
        << "written again, byte for byte";

    const SnapshotRead latin1 = LoadSnapshot(kToolData / "snapshot_1.0_latin1_name.json");
    ASSERT_TRUE(latin1.snapshot) << latin1.error;
    EXPECT_EQ(latin1.snapshot->firmware, "31.742.06.19.208-\\xe9\\xff") << "made printable";
    EXPECT_EQ(latin1.snapshot->settings, "/tmp/jsonsnap/r\xEF\xBF\xBDglages.ini")
        << "the Latin-1 byte is read as U+FFFD";
    EXPECT_EQ(latin1.snapshot->nv_items, snapshot.nv_items);
}

// A text that is not UTF-8 (a setting file's name in Latin-1) is written as U+FFFD, inside the
// checksum: the snapshot reads back whole, its card's bytes as they were.
TEST(Snapshot, ATextThatIsNotUtf8IsWrittenWithReplacementCharacters) {
    CardSnapshot snapshot = Example();
    snapshot.settings = "/bench/r\xE9glages.ini";
    const SnapshotRead read = ReadSnapshotText(SnapshotText(snapshot));
    ASSERT_TRUE(read.snapshot) << read.error;
    snapshot.settings = "/bench/r\xEF\xBF\xBDglages.ini";
    EXPECT_EQ(*read.snapshot, snapshot);
}

// The snapshot's text with `from` replaced by `to` and sealed again, as if carvexctl had written
// it.
std::string Resealed(std::string_view from, std::string_view to) {
    std::string text = SnapshotText(Example());
    text.replace(text.find(from), from.size(), to);
    text.erase(text.rfind("  \"checksum\""));
    char checksum[9];
    std::snprintf(checksum, sizeof checksum, "%08x", Crc32(text));
    return text + "  \"checksum\": \"crc32:" + checksum + "\"\n}\n";
}

// Sealed, but not what carvexctl writes: refused with the reason, which shows nothing of the file
// that could move a terminal's cursor.
TEST(Snapshot, ASealedFileThatHoldsNoSnapshotIsRefused) {
    ASSERT_TRUE(ReadSnapshotText(Resealed("\"COM12\"", "\"COM13\"")).snapshot);
    const struct {
        const char* from;
        const char* to;
        const char* why;
    } cases[] = {
        {"\"item\": 60000", "\"item\": 99999999999999999999",
         "an entry of \"nv_items\" names no NV item"},
        {"\"item\": 60000", "\"item\": 65536", "an entry of \"nv_items\" names no NV item"},
        {"\"item\": 60000", "\"item\": -1", "an entry of \"nv_items\" names no NV item"},
        {"\"item\": 60000", "\"item\": 6e4", "an entry of \"nv_items\" names no NV item"},
        {"\"data\": \"07", "\"data\": \"g7", "NV item 60000 does not hold 128 bytes in hex"},
        {"\"led_items\": [", "\"led_items\": [7,", "an entry of \"led_items\" names no NV item"},
        {"\"mask\": 20", "\"mask\": 256", "\"port_setting\" does not hold a state and a mask"},
        {"\"firmware\"", "\"firmware_version\"", "\"firmware\" is missing or no text"},
        {"\"imei\": \"356789012345678\"", "\"imei\": \"35678901234567x\"",
         "its IMEI is no number of up to 15 digits"},
        {"\"card_type\"", "\"port\"", "it is no JSON object: the member \"port\" twice"},
        {"\"format\": \"carvexctl card snapshot 1\"", "\"format\": \"\\u001b[2J\"",
         "it is no snapshot of carvexctl (format \"\\x1b[2J\")"},
        {"\"port\": \"COM12\"", "\"port\": \"\x1b[2J",
         "it is no JSON object: parse error at line 6"},
    };
    for (const auto& c : cases) {
        const SnapshotRead read = ReadSnapshotText(Resealed(c.from, c.to));
        EXPECT_FALSE(read.snapshot) << c.to;
        EXPECT_TRUE(read.error.starts_with(c.why)) << read.error;
        EXPECT_EQ(read.error.find('\x1b'), std::string::npos) << read.error;
    }
}

TEST(Snapshot, IsSavedUnderItsImeiAndTimeNeverOverAnother) {
    testsupport::TempDir dir;
    const auto folder = dir.Path() / "made" / "snapshots";
    const auto when = std::chrono::system_clock::from_time_t(1773479131);  // 2026-03-14 09:05:31
    const SnapshotSaved first = SaveSnapshot(folder, Example(), when);
    const SnapshotSaved second = SaveSnapshot(folder, Example(), when);
    ASSERT_TRUE(first.file && second.file) << first.error << second.error;
    EXPECT_EQ(first.file->filename(), "356789012345678-20260314T090531Z.json");
    EXPECT_EQ(second.file->filename(), "356789012345678-20260314T090531Z-2.json");
    EXPECT_EQ(testsupport::Listing(folder).size(), 2u) << "nothing else is left behind";
    const SnapshotRead loaded = LoadSnapshot(*first.file);
    ASSERT_TRUE(loaded.snapshot) << loaded.error;
    EXPECT_EQ(*loaded.snapshot, Example());
    EXPECT_NE(LoadSnapshot(folder / "none.json").error.find("does not exist"), std::string::npos);
}

// Cards of one IMEI (blank or cloned) whose snapshots are saved in one second, at once: each
// keeps a file of its own, none written over another's.
TEST(Snapshot, SavesAtOnceUnderOneNameAreAllKept) {
    testsupport::TempDir dir;
    const auto when = std::chrono::system_clock::from_time_t(1773479131);
    constexpr size_t kCards = 8;
    std::vector<SnapshotSaved> saved(kCards);
    {
        std::vector<std::jthread> threads;
        for (size_t i = 0; i < kCards; ++i) {
            threads.emplace_back([&, i] {
                CardSnapshot snapshot = Example();
                snapshot.port = "COM" + std::to_string(12 + 10 * i);
                saved[i] = SaveSnapshot(dir.Path(), snapshot, when);
            });
        }
    }
    std::set<std::filesystem::path> files;
    for (size_t i = 0; i < kCards; ++i) {
        ASSERT_TRUE(saved[i].file) << saved[i].error;
        files.insert(*saved[i].file);
        const SnapshotRead read = LoadSnapshot(*saved[i].file);
        ASSERT_TRUE(read.snapshot) << read.error;
        EXPECT_EQ(read.snapshot->port, "COM" + std::to_string(12 + 10 * i))
            << "card " << i << "'s snapshot was written over by another card's";
    }
    EXPECT_EQ(files.size(), kCards);
    EXPECT_EQ(testsupport::Listing(dir.Path()).size(), kCards) << "nothing else is left behind";
}

// Snapshots of one card saved in the same second ("-2" ... "-11" after the first) are listed in
// the order they were saved, the first one marked; another card's are apart, with a mark of
// their own.
TEST(Snapshot, AreListedInTheOrderTheyWereSaved) {
    testsupport::TempDir dir;
    const auto when = std::chrono::system_clock::from_time_t(1773479131);
    for (int i = 0; i < 11; ++i) {
        CardSnapshot snapshot = Example();
        snapshot.port = "COM" + std::to_string(i);
        ASSERT_TRUE(SaveSnapshot(dir.Path(), snapshot, when).file);
    }
    CardSnapshot other = Example();
    other.imei = "356789012345670";
    other.taken = "2026-03-15T09:05:31Z";
    ASSERT_TRUE(SaveSnapshot(dir.Path(), other, when).file);

    const SnapshotShelf shelf = ListSnapshots(dir.Path());
    ASSERT_EQ(shelf.snapshots.size(), 12u);
    EXPECT_EQ(shelf.snapshots[0].snapshot.imei, other.imei);
    EXPECT_TRUE(shelf.snapshots[0].first);
    for (int i = 0; i < 11; ++i) {
        const ShelvedSnapshot& shelved = shelf.snapshots[1 + i];
        EXPECT_EQ(shelved.snapshot.port, "COM" + std::to_string(i)) << shelved.file;
        EXPECT_EQ(shelved.first, i == 0) << shelved.file;
    }
    EXPECT_EQ(ListSnapshots(dir.Path(), other.imei).snapshots.size(), 1u);
    EXPECT_TRUE(ListSnapshots(dir.Path() / "none").snapshots.empty());
}

CardRecord Row(std::string port, std::string imei, std::string card_type, WorkResult result,
               size_t written, std::vector<std::string> mismatches, std::string snapshot,
               double seconds) {
    CardRecord card;
    card.port = std::move(port);
    card.imei = std::move(imei);
    card.firmware = card.imei.empty() ? "" : "31.742";
    card.card_type = std::move(card_type);
    card.result = std::move(result);
    card.nv_written = written;
    card.mismatches = std::move(mismatches);
    card.snapshot = std::move(snapshot);
    card.seconds = seconds;
    return card;
}

RunReport Rows() {
    RunReport report;
    report.cards = {
        Row("COM12", "356789012345678", "LW-X4201", WorkResult::Done(), 13, {},
            "/s/356789012345678-20260314T090531Z.json", 18.04),
        Row("COM22", "356789012345680", "LW-X4201", WorkResult::Mismatch(), 13,
            {"60000", "port setting"}, "/s/b.json", 20.26),
        Row("COM32", "", "",
            WorkResult::Failed(WorkStep::kOpeningCard,
                               "COM32 is in use by minicom (pid 700), \"busy\""),
            0, {}, "", 0.5),
        Row("COM42", "356789012345706", "LW-X4207",
            WorkResult::Refused(WorkStep::kCheckingCardType, "other card type"), 0, {}, "", 3.0),
    };
    return report;
}

// The members a report of carvexctl 1.0 had, in their order: what is left of each card's object
// once the others are taken out.
std::string AsIn10(const std::string& report) {
    const ParsedJson read = ParseJson(report);
    EXPECT_TRUE(read.value) << read.error;
    Json cards = *read.value;
    for (Json& card : cards) {
        for (const char* added : {"retries", "log", "uuid", "started", "ended", "run_started",
                                  "run_ended", "settings_file", "settings_crc", "settings_sha256",
                                  "description_sha256", "tool_version"}) {
            EXPECT_TRUE(card.contains(added)) << added;
            card.erase(added);
        }
    }
    return JsonText(cards) + "\n";
}

// The rows above and two more (a text with every kind of escape; seconds rounded to nothing and
// to a tenth): the members of carvexctl 1.0 keep the bytes and the order it wrote them in.
TEST(Report, JsonKeepsTheBytesOfCarvexctl10) {
    RunReport report = Rows();
    report.cards.push_back(Row("COM52", "1", "T", WorkResult::Done(), 0, {}, "", 0.04));
    report.cards.back().firmware = "fw\x01 \xC3\xA9\t\"/\\";
    report.cards.push_back(Row("COM62", "2", "", WorkResult::Done(), 1, {}, "", 123456.75));
    report.cards.back().firmware = "";
    EXPECT_EQ(AsIn10(ReportJson(report)), testsupport::Contents(kToolData / "report_1.0.json"));

    report.cards.back().snapshot = "/s/r\xE9glages/2.json";
    const ParsedJson read = ParseJson(ReportJson(report));
    ASSERT_TRUE(read.value) << read.error;
    EXPECT_EQ(read.value->back()["snapshot"], "/s/r\xEF\xBF\xBDglages/2.json");
}

// The FIPS 180-4 examples, the second of which pads into a block of its own.
TEST(Sha256, KnownAnswers) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// The run's facts and times, and each card's retries, in both formats; every run folder gets
// both as its summary.
TEST(Report, CarriesTheRunAndEachCardsRetries) {
    RunReport report = Rows();
    report.started = std::chrono::system_clock::from_time_t(1773479131);
    report.ended = report.started + std::chrono::seconds(95);
    RunFacts facts;
    facts.tool_version = "carvexctl 1.1";
    facts.settings_file = "bench, 2.ini";
    facts.settings_crc = "40155";
    facts.settings_sha256 = Sha256Hex("abc");
    facts.description_sha256 = std::string(64, 'd');
    for (CardRecord& card : report.cards) {
        card.run = facts;
    }
    report.cards[1].retries = 3;
    const std::string csv = ReportCsv(report);
    EXPECT_TRUE(csv.starts_with(
        "port,imei,firmware,card_type,result,nv_items_written,mismatching_nv_items,snapshot,"
        "seconds,items_left_to_defaults,retries,log,uuid,started,ended,run_started,run_ended,"
        "settings_file,settings_crc,settings_sha256,description_sha256,tool_version\r\n"))
        << csv;
    EXPECT_NE(csv.find("20.3,,3,,,,,2026-03-14T09:05:31Z,2026-03-14T09:07:06Z,\"bench, 2.ini\","
                       "40155," +
                       Sha256Hex("abc") + "," + std::string(64, 'd') + ",carvexctl 1.1\r\n"),
              std::string::npos)
        << csv;

    const ParsedJson json = ParseJson(ReportJson(report));
    ASSERT_TRUE(json.value) << json.error;
    EXPECT_EQ((*json.value)[1]["retries"], 3);
    EXPECT_EQ((*json.value)[0]["retries"], 0);
    EXPECT_EQ((*json.value)[0]["run_ended"], "2026-03-14T09:07:06Z");
    EXPECT_EQ((*json.value)[0]["settings_crc"], "40155");
    EXPECT_TRUE((*json.value)[0]["uuid"].is_null()) << "a card not begun has none";

    testsupport::TempDir dir;
    ASSERT_EQ(SaveRunSummary(dir.Path(), report), "");
    EXPECT_EQ(testsupport::Contents(dir.Path() / "summary.csv"), csv);
    EXPECT_EQ(testsupport::Contents(dir.Path() / "summary.json"), ReportJson(report));
}

TEST(Report, RowsInCsvJsonAndTheSummary) {
    // The first card was written, a file leaving two items at their defaults; the second too,
    // none left; the others were not written.
    RunReport report = Rows();
    std::vector<CardRecord>& rows = report.cards;
    rows[0].left_to_defaults = {"Flag byte", "Band, extra"};
    rows[1].left_to_defaults.emplace();
    const std::string tail = ",0,,,,,,,,,,,\r\n";  // no retries, log or run facts
    EXPECT_EQ(ReportCsv(report).substr(ReportCsv(report).find('\n') + 1),
              "COM12,356789012345678,31.742,LW-X4201,ok,13,,"
              "/s/356789012345678-20260314T090531Z.json,18.0,\"Flag byte; Band, extra\"" +
                  tail +
                  "COM22,356789012345680,31.742,LW-X4201,verify mismatch,13,60000 port setting,"
                  "/s/b.json,20.3," +
                  tail +
                  "COM32,,,,\"failed at opening the card: COM32 is in use by minicom (pid 700), "
                  "\"\"busy\"\"\",0,,,0.5," +
                  tail + "COM42,356789012345706,31.742,LW-X4207,refused: other card type,0,,,3.0," +
                  tail);

    const ParsedJson json = ParseJson(ReportJson(report));
    ASSERT_TRUE(json.value) << json.error;
    const auto& cards = *json.value;
    ASSERT_EQ(cards.size(), 4u);
    EXPECT_EQ(cards[1]["result"], "verify mismatch");
    EXPECT_EQ(cards[1]["mismatching_nv_items"], Json({"60000", "port setting"}));
    EXPECT_EQ(cards[1]["nv_items_written"], 13);
    EXPECT_EQ(cards[1]["seconds"], 20.3);
    EXPECT_TRUE(cards[2]["snapshot"].is_null());
    EXPECT_EQ(cards[0]["items_left_to_defaults"], Json({"Flag byte", "Band, extra"}));
    EXPECT_EQ(cards[1]["items_left_to_defaults"], Json::array());
    EXPECT_FALSE(cards[2].contains("items_left_to_defaults"));

    std::ostringstream summary;
    PrintSummary(summary, rows);
    const std::string text = summary.str();
    // Each column starts where its heading does.
    const size_t header_end = text.find('\n');
    const std::string header = text.substr(0, header_end);
    const std::string first =
        text.substr(header_end + 1, text.find('\n', header_end + 1) - header_end - 1);
    EXPECT_TRUE(header.starts_with("PORT   IMEI             FIRMWARE  CARD TYPE  RESULT  "))
        << header;
    EXPECT_EQ(header.find("NV WRITTEN"), first.find("13  "));
    EXPECT_EQ(header.find("SNAPSHOT"), first.rfind("  35678") + 2);
    EXPECT_EQ(text.find("/s/"), std::string::npos) << "the snapshot's file name alone";
    EXPECT_EQ(header.find("SECONDS"), first.find("18.0"));
    EXPECT_NE(text.find("\nCOM32  -                -         -          failed at opening"),
              std::string::npos)
        << text;
    EXPECT_TRUE(text.ends_with("\n1 of 4 cards ok\n")) << text;
    EXPECT_EQ(text.find("Flag byte"), std::string::npos) << "not a column of the table";

    EXPECT_EQ(ReportFormatOf("r.CSV"), ReportFormat::kCsv);
    EXPECT_EQ(ReportFormatOf("r.json"), ReportFormat::kJson);
    EXPECT_FALSE(ReportFormatOf("r.txt"));
}

// The lines of the summary of `cards`, as standard output shows them.
std::vector<std::string> SummaryLines(const std::vector<CardRecord>& cards, std::string& out) {
    std::ostringstream printed;
    PrintSummary(printed, cards);
    out = printed.str();
    std::istringstream lines(out);
    std::vector<std::string> table;
    for (std::string line; std::getline(lines, line);) {
        table.push_back(line);
    }
    return table;
}

// A bench of cards that each end their own way, with a long firmware text and snapshot names:
// no line of the table is wider than 120 columns, and what is cut says so.
TEST(Report, TheSummaryTableFits120Columns) {
    std::vector<CardRecord> cards = Rows().cards;
    for (CardRecord& card : cards) {
        card.firmware = "31.742.06.19.208-\xE8\xAF\xBB\xE5\x8F\x96";
        card.snapshot = "/var/state/carvex/snapshots/" + card.imei + "-20260314T090531Z.json";
        card.retries = 12;
    }
    cards[2].result =
        WorkResult::Failed(WorkStep::kAwaitingReturn,
                           "the card came back, but within 60 s its port could not be used: COM32 "
                           "(/dev/ttyUSB2) is in use by minicom (pid 700)");
    std::string out;
    const std::vector<std::string> table = SummaryLines(cards, out);
    ASSERT_EQ(table.size(), cards.size() + 4) << out;
    for (size_t row = 0; row <= cards.size(); ++row) {
        EXPECT_LE(DisplayWidth(table[row]), kSummaryColumns) << table[row];
    }
    EXPECT_TRUE(table[3].find("  failed at restart: t") != std::string::npos) << table[3];
    EXPECT_EQ(table[cards.size() + 1], "COM32: " + cards[2].result.Text())
        << "the result cut in the table, whole below it";
    EXPECT_EQ(table[cards.size() + 2], "COM42: refused: other card type");
    EXPECT_EQ(out.find("/var/state"), std::string::npos) << "the file name only";
}

// A card that names itself at length (its model is whatever it answers) is cut in the table too,
// before the results are.
TEST(Report, ALongCardTypeStillFits120Columns) {
    std::vector<CardRecord> cards = Rows().cards;
    cards[1].card_type = "LW-X4201 HSPA+ USB data card, engineering sample 7 of the second batch";
    std::string out;
    const std::vector<std::string> table = SummaryLines(cards, out);
    ASSERT_GT(table.size(), cards.size()) << out;
    for (size_t row = 0; row <= cards.size(); ++row) {
        EXPECT_LE(DisplayWidth(table[row]), kSummaryColumns) << table[row];
    }
    EXPECT_NE(table[2].find("  LW-X4201 "), std::string::npos) << table[2];
    EXPECT_EQ(table[2].find("second batch"), std::string::npos) << table[2];
    EXPECT_NE(table[2].find("  verify mismatch  "), std::string::npos) << "the result whole";
}

// A dry run lists the NV items that would change, by caption, number and bytes, and says how
// many; the others only with --all.
TEST(DryRun, ListsOnlyTheItemsThatWouldChange) {
    CardRecord card = Rows().cards[0];
    NvData same{};
    same[3] = 1;
    NvData before{};
    before[0] = 7;
    NvData after = before;
    after[0] = 9;
    card.items = {{60000, {"Low byte", "Flag byte"}, before, after},
                  {60040, {"Mode"}, same, same},
                  {60060, {"Inactive"}, std::nullopt, same}};
    card.port_setting = PortSettingChange{DeviceState{1, 0x14}, DeviceState{1, 0x14}};

    std::ostringstream differing;
    PrintPlan(differing, card, false);
    const std::string text = differing.str();
    EXPECT_TRUE(
        text.starts_with("COM12 (IMEI 356789012345678): 2 of 3 NV items would change "
                         "(--all lists the other 1)\n"))
        << text;
    EXPECT_NE(text.find("  NV item 60000 (Low byte, Flag byte):\n    0000  card 07 00"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("          file 09 00"), std::string::npos) << text;
    EXPECT_NE(text.find("  NV item 60060 (Inactive): the card does not hold it"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("60040"), std::string::npos) << text;
    EXPECT_EQ(text.find("port setting"), std::string::npos) << "unchanged: " << text;

    std::ostringstream all;
    PrintPlan(all, card, true);
    EXPECT_NE(all.str().find("  NV item 60040 (Mode): unchanged\n"), std::string::npos)
        << all.str();
    EXPECT_NE(all.str().find("port setting: state 1, port mask 0x14 -> state 1, port mask 0x14 "
                             "(unchanged)"),
              std::string::npos)
        << all.str();
}

// Columns as a terminal draws them, for the tables and the board.
TEST(DisplayWidth, WideCharactersTakeTwoColumnsAndMarksNone) {
    const std::string read = "\xE8\xAF\xBB\xE5\x8F\x96";  // two CJK characters
    const std::string fullwidth_a = "\xEF\xBC\xA1";       // U+FF21
    const std::string e_acute = "e\xCC\x81";              // e and a combining acute
    const std::string hangul = "\xED\x95\x9C";            // U+D55C
    EXPECT_EQ(DisplayWidth("COM12"), 5u);
    EXPECT_EQ(DisplayWidth(read), 4u);
    EXPECT_EQ(DisplayWidth(fullwidth_a + hangul), 4u);
    EXPECT_EQ(DisplayWidth(e_acute), 1u);
    EXPECT_EQ(DisplayWidth("\xC3\xA9\xE2\x82\xAC"), 2u) << "e-acute and the euro sign: one each";
    EXPECT_EQ(DisplayWidth("a\xFF\xE8\xAF"), 4u)
        << "a stray byte, each byte of a cut character: one";

    EXPECT_EQ(CutToColumns("ab" + read, 3), "ab") << "never half a character";
    EXPECT_EQ(CutToColumns("ab" + read, 4), "ab" + read.substr(0, 3));
    EXPECT_EQ(CutToColumns(e_acute + "x", 1), e_acute);
    EXPECT_EQ(PadToColumns(read, 6), read + "  ");
    EXPECT_EQ(PadToColumns(read, 3), read);
}

// The checks made before any card is touched apply the rules of the writers that come after
// every card was written: what passes is written, what is refused would not have been. Run as a
// user without privileges, to whom file permissions apply.
TEST(OutputChecks, AgreeWithTheWritersThatComeAfterTheCards) {
    testsupport::TempDir dir;
    namespace fs = std::filesystem;
    fs::permissions(dir.Path(), fs::perms::all);
    const fs::path read_only_report = dir.Path() / "report.csv";
    testsupport::Put(read_only_report, "old");
    fs::permissions(read_only_report,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const fs::path closed = dir.Path() / "closed";
    fs::create_directory(closed);
    fs::permissions(closed, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    const fs::path open = dir.Path() / "open";
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all);

    testsupport::ForkedChild child([&](testsupport::ForkedChild& self) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            return 1;
        }
        const auto say = [&](const std::string& what, const std::string& why) {
            self.Say(what + ": " + (why.empty() ? "ok" : why));
        };
        say("read-only report", ReportUnwritable(read_only_report));
        say("its writer", SaveReport(read_only_report, Rows()));
        say("report in a closed folder", ReportUnwritable(closed / "r.json"));
        say("new report", ReportUnwritable(open / "r.json"));
        say("its writer", SaveReport(open / "r.json", Rows()));
        say("closed snapshots", SnapshotFolderRefusal(closed));
        say("below a closed folder", SnapshotFolderRefusal(closed / "made" / "snapshots"));
        const auto when = std::chrono::system_clock::from_time_t(1773479131);
        say("its writer", SaveSnapshot(closed / "made", Example(), when).error);
        say("below an open folder", SnapshotFolderRefusal(open / "made" / "snapshots"));
        say("its writer", SaveSnapshot(open / "made" / "snapshots", Example(), when).error);
        say("under a file", SnapshotFolderRefusal(read_only_report / "snapshots"));
        return 0;
    });
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"read-only report: ", "is read-only"},
        {"its writer: ", "is read-only"},
        {"report in a closed folder: ", "cannot create a file in"},
        {"new report: ", "ok"},
        {"its writer: ", "ok"},
        {"closed snapshots: ", "cannot create a file in"},
        {"below a closed folder: ", "cannot create a file in " + closed.string()},
        {"its writer: ", "cannot make the folder"},
        {"below an open folder: ", "ok"},
        {"its writer: ", "ok"},
        {"under a file: ", "report.csv is not a folder"},
    };
    for (const auto& [what, why] : expected) {
        const std::string heard = child.Hear();
        EXPECT_TRUE(heard.starts_with(what) && heard.find(why) != std::string::npos)
            << what << why << "\n"
            << heard;
    }
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(testsupport::Contents(read_only_report), "old");
}

TEST(ProgressBoard, PrintsLinesOrRedrawsThemInPlace) {
    std::ostringstream plain;
    ProgressBoard lines(plain, {"COM12", "COM112"}, false);
    lines.Show(1, "Reading 1 of 3: Band");
    lines.Show(1, "Reading 1 of 3: Band");  // unchanged: not printed again
    lines.Show(0, "ok");
    lines.Drain();
    EXPECT_EQ(plain.str(), "COM112: Reading 1 of 3: Band\nCOM12: ok\n");

    std::ostringstream terminal;
    ProgressBoard board(terminal, {"COM12", "COM112"}, true, 24);
    board.Show(0, "Opening the card...");
    board.Drain();  // else the first frame may be skipped for the second
    const std::string read = "\xE8\xAF\xBB\xE5\x8F\x96";  // two CJK characters
    board.Show(1, read + read + read + read);
    board.Drain();
    EXPECT_EQ(terminal.str(),
              "\r\x1b[2KCOM12   Opening the car\n\r\x1b[2KCOM112  \n"
              "\x1b[2A\r\x1b[2KCOM12   Opening the car\n"
              "\r\x1b[2KCOM112  " +
                  read + read + read + read.substr(0, 3) + "\n")
        << "cut to 23 columns, a CJK character counting two";
}

// The board is cut to the width of the terminal standard error is on, or to 80 columns where
// standard error is no terminal.
TEST(ErrorTerminal, ColumnsAreTheTerminalsOwn) {
    for (const int columns : {132, 40}) {
        testsupport::ForkedChild child([columns](testsupport::ForkedChild& self) {
            const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
            if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
                return 1;
            }
            const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
            winsize size{};
            size.ws_row = 24;
            size.ws_col = static_cast<unsigned short>(columns);
            if (terminal < 0 || ::ioctl(master, TIOCSWINSZ, &size) != 0 ||
                ::dup2(terminal, STDERR_FILENO) < 0) {
                return 1;
            }
            self.Say(std::to_string(ErrorTerminalColumns()));
            return 0;
        });
        EXPECT_EQ(child.Hear(), std::to_string(columns));
        EXPECT_EQ(child.Wait(), 0);
    }
    testsupport::ForkedChild no_terminal([](testsupport::ForkedChild& self) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null < 0 || ::dup2(null, STDERR_FILENO) < 0) {
            return 1;
        }
        self.Say(std::to_string(ErrorTerminalColumns()));
        return 0;
    });
    EXPECT_EQ(no_terminal.Hear(), "80");
    EXPECT_EQ(no_terminal.Wait(), 0);
}

}  // namespace
}  // namespace carvexctl
