// A record as scripts read it (JSON, CSV), the times it is searched by, and its UUID.
#include <gtest/gtest.h>

#include <set>

#include "cardwork/batch/card_record.h"
#include "cardwork/batch/utc_text.h"
#include "cardwork/records/record_output.h"
#include "cardwork/records/record_uuid.h"

namespace cardwright {
namespace {

using std::chrono::system_clock;

StoredRecord Mismatched() {
    StoredRecord record;
    record.uuid = "3b6f0c1e-9a2d-4f7b-8c11-5e0d2a9b7f34";
    record.imei = "356938035643809";
    record.station = "line-3";
    record.port = "COM12";
    record.operator_name = "r.okafor";
    record.setting_file = "fleet, \"north\".ini";
    record.setting_crc = 0xBEEF;
    record.model = "QX-220";
    record.started = *ParseUtcText("2026-03-14T09:05:31Z");
    record.ended = *ParseUtcText("2026-03-14T09:06:02Z");
    record.seconds = 31.04;
    record.End(WorkResult::Mismatch());
    record.defaults_left = std::vector<std::string>{"Roaming", "LED brightness"};
    record.nv_written = 4;
    record.mismatches = {"550", "port setting"};
    record.retries = 2;
    return record;
}

TEST(RecordOutput, JsonGivesEveryFieldInOrderWithNullForWhatIsNotKnown) {
    const Json json = RecordJson(Mismatched());
    std::vector<std::string> names;
    for (auto member = json.begin(); member != json.end(); ++member) {
        names.push_back(member.key());
    }
    EXPECT_EQ(
        names,
        (std::vector<std::string>{
            "uuid",       "imei",         "station",       "port",           "operator",
            "work_order", "setting_file", "setting_crc",   "setting_sha256", "description_sha256",
            "model",      "firmware",     "card_type",     "started",        "ended",
            "seconds",    "result",       "defaults_left", "nv_written",     "mismatches",
            "retries",    "snapshot",     "tool_version",  "after_hook"}));
    EXPECT_EQ(json["operator"], "r.okafor");
    EXPECT_EQ(json["work_order"], nullptr);
    EXPECT_EQ(json["setting_crc"], 0xBEEF);
    EXPECT_EQ(json["firmware"], nullptr);
    EXPECT_EQ(json["started"], "2026-03-14T09:05:31Z");
    EXPECT_EQ(json["ended"], "2026-03-14T09:06:02Z");
    EXPECT_DOUBLE_EQ(json["seconds"].get<double>(), 31.0);
    EXPECT_EQ(json["result"], "verify mismatch");
    EXPECT_EQ(json["defaults_left"], Json::array({"Roaming", "LED brightness"}));
    EXPECT_EQ(json["mismatches"], Json::array({"550", "port setting"}));
    EXPECT_EQ(json["retries"], 2);

    // In progress: no end yet, and no list of defaults before the write.
    StoredRecord running = Mismatched();
    running.ended.reset();
    running.seconds.reset();
    running.result.clear();
    running.defaults_left.reset();
    const Json open = RecordJson(running);
    EXPECT_EQ(open["ended"], nullptr);
    EXPECT_EQ(open["seconds"], nullptr);
    EXPECT_EQ(open["result"], nullptr);
    EXPECT_EQ(open["defaults_left"], nullptr);
}

TEST(RecordOutput, CsvQuotesWhatWouldSplitAFieldAndJoinsLists) {
    const std::string csv = RecordsCsv({Mismatched()});
    const size_t header_end = csv.find("\r\n");
    ASSERT_NE(header_end, std::string::npos);
    EXPECT_EQ(csv.substr(0, 26), "uuid,imei,station,port,ope");
    const std::string row = csv.substr(header_end + 2);
    EXPECT_EQ(row,
              "3b6f0c1e-9a2d-4f7b-8c11-5e0d2a9b7f34,356938035643809,line-3,COM12,r.okafor,,"
              "\"fleet, \"\"north\"\".ini\",48879,,,QX-220,,,2026-03-14T09:05:31Z,"
              "2026-03-14T09:06:02Z,31.0,verify mismatch,Roaming; LED brightness,4,"
              "550; port setting,2,,,\r\n");
    EXPECT_EQ(RecordsCsv({}), csv.substr(0, header_end + 2));
}

TEST(UtcText, TextsOfOneFormSortAsTheirTimesAndOthersAreRefused) {
    const auto at = ParseUtcText("2026-03-14T09:05:31Z");
    ASSERT_TRUE(at);
    EXPECT_EQ(UtcText(*at), "2026-03-14T09:05:31Z");
    EXPECT_EQ(UtcText(*at + std::chrono::milliseconds(999)), "2026-03-14T09:05:31Z");
    EXPECT_EQ(ParseUtcText("2026-03-14T09:05Z"), *at - std::chrono::seconds(31));
    EXPECT_EQ(UtcText(*ParseUtcText("2026-03-14")), "2026-03-14T00:00:00Z");
    EXPECT_EQ(UtcText(*ParseUtcText("2024-02-29")), "2024-02-29T00:00:00Z");
    // The form of file names.
    EXPECT_EQ(ParseUtcText("20260314T090531Z"), at);
    EXPECT_EQ(UtcText(*at, true), "20260314T090531Z");
    for (const char* bad :
         {"", "2026-3-14", "2026-02-30", "2025-02-29", "2026-03-14T24:00Z", "2026-03-14T09:60Z",
          "2026-03-14T09:05:61Z", "2026-03-14T09:05:31", "2026-03-14 09:05:31Z",
          "2026-03-14T09:05:31+01:00", "yesterday", "2026-03-14T09:05:31Zx", "20260314T0905Z",
          "2026031AT090531Z", "20260230T090531Z", "20260314T090531X"}) {
        EXPECT_FALSE(ParseUtcText(bad)) << bad;
    }
    EXPECT_LT(UtcText(*ParseUtcText("2026-03-14T09:59:59Z")),
              UtcText(*ParseUtcText("2026-03-14T10:00:00Z")));
}

TEST(RecordUuid, EachIsANewVersion4Uuid) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string uuid = NewUuid();
        ASSERT_TRUE(IsRecordUuid(uuid)) << uuid;
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 200u);
    for (const char* bad :
         {"3b6f0c1e-9a2d-3f7b-8c11-5e0d2a9b7f34",  // version 3
          "3b6f0c1e-9a2d-4f7b-cc11-5e0d2a9b7f34",  // another variant
          "3B6F0C1E-9A2D-4F7B-8C11-5E0D2A9B7F34", "3b6f0c1e9a2d4f7b8c115e0d2a9b7f34",
          "3b6f0c1e-9a2d-4f7b-8c11-5e0d2a9b7f3"}) {
        EXPECT_FALSE(IsRecordUuid(bad)) << bad;
    }
}

}  // namespace
}  // namespace cardwright
