// carvexctl snapshots, and restore finding the snapshot's card, against simulated cards plugged
// in together.
#include <gtest/gtest.h>

#include "cardwork/batch/snapshot.h"
#include "cardwork/json/json_document.h"
#include "tests/tools/carvexctl_batch_fixture.h"

namespace {

using cardsim::Command;
using namespace testsupport::batch;

// Three applies: every card once, then the second card twice more. The snapshots are listed by
// IMEI in the order they were taken, the first of each marked as the card before any write; a
// file of the second card's that cannot be read and may be older withholds its mark.
TEST_F(CarvexctlBatchTest, SnapshotsAreListedWithEachCardsFirstMarked) {
    Plug(3);
    const auto snapshots = (dir_.Path() / "snapshots").string();
    const auto report = dir_.Path() / "first.json";
    auto r = Run({"apply", SettingFile(), "--description", kDescription, "--no-restart",
                  "--snapshots", snapshots, "--report", report.string()});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const auto first = cardwright::ParseJson(testsupport::Contents(report));
    ASSERT_TRUE(first.value) << first.error;
    const std::string first_of_second = first.value->at(1)["snapshot"].get<std::string>();
    for (int again = 0; again < 2; ++again) {
        r = Run({"apply", SettingFile(), "--description", kDescription, "--no-restart",
                 "--snapshots", snapshots, "--port", "COM22"});
        ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    }

    r = Run({"snapshots", "--snapshots", snapshots});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 8u) << r.out;
    EXPECT_EQ(lines[0], "Snapshots in " + snapshots + ":");
    EXPECT_TRUE(lines[1].starts_with("IMEI             TAKEN (UTC)           BY     CARD TYPE  "))
        << lines[1];
    const std::vector<std::pair<std::string, bool>> rows = {{"356789012345678", true},
                                                            {"356789012345680", true},
                                                            {"356789012345680", false},
                                                            {"356789012345680", false},
                                                            {"356789012345698", true}};
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::string& line = lines[2 + i];
        EXPECT_TRUE(line.starts_with(rows[i].first + "  20")) << line;
        EXPECT_TRUE(Has(line, "Z  apply  LW-X4201   31.742.06.19.208  " + rows[i].first + "-"))
            << line;
        EXPECT_EQ(line.ends_with(".json *"), rows[i].second) << line;
    }
    EXPECT_TRUE(Has(lines[3], std::filesystem::path(first_of_second).filename().string()));
    EXPECT_EQ(lines[7], "*: the card as it was before carvexctl first wrote it");

    r = Run({"snapshots", "--snapshots", snapshots, "--imei", "356789012345680", "--json"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    auto listed = cardwright::ParseJson(r.out);
    ASSERT_TRUE(listed.value) << listed.error << r.out;
    const auto& entries = listed.value->at("snapshots");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0]["file"], first_of_second);
    EXPECT_EQ(entries[0]["first"], true);
    EXPECT_EQ(entries[0]["command"], "apply");
    EXPECT_EQ(entries[0]["card_type"], "LW-X4201");
    EXPECT_EQ(entries[0]["port"], "COM22");
    EXPECT_LE(entries[0]["taken"].get<std::string>(), entries[1]["taken"].get<std::string>());
    EXPECT_EQ(entries[1]["first"], false);
    EXPECT_EQ(entries[2]["first"], false);

    testsupport::Put(std::filesystem::path(snapshots) / "356789012345680-20000101T000000Z.json",
                     "{}");
    r = Run({"snapshots", "--snapshots", snapshots, "--imei", "356789012345680", "--json"});
    EXPECT_EQ(r.exit_code, 1) << "a file that is no snapshot";
    listed = cardwright::ParseJson(r.out);
    ASSERT_TRUE(listed.value) << listed.error << r.out;
    EXPECT_EQ(listed.value->at("snapshots")[0]["first"], false);
    EXPECT_EQ(listed.value->at("first_unknown"), cardwright::Json::array({"356789012345680"}));
    EXPECT_EQ(listed.value->at("unread").size(), 1u);
}

// Without --port, restore asks every card its IMEI and writes the one that has the snapshot's;
// when none or several have it, no card is written.
TEST_F(CarvexctlBatchTest, RestoreWithoutPortFindsTheSnapshotsCard) {
    Plug(3);
    const auto snapshots = dir_.Path() / "snapshots";
    auto r = Run({"apply", SettingFile(), "--description", kDescription, "--no-restart",
                  "--snapshots", snapshots.string(), "--port", "COM22"});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    const auto taken = testsupport::Listing(snapshots);
    ASSERT_EQ(taken.size(), 1u);
    const std::string snapshot = (snapshots / taken.front()).string();
    const auto writes = [this] {
        return std::vector<size_t>{testsupport::RequestsOf(Card(1), Command::kNvWrite).size(),
                                   testsupport::RequestsOf(Card(2), Command::kNvWrite).size(),
                                   testsupport::RequestsOf(Card(3), Command::kNvWrite).size()};
    };
    const auto before = writes();
    ASSERT_EQ(Card(2).Nv(60000)->at(0), 9);

    r = Run({"restore", snapshot, "--no-restart", "--snapshots", snapshots.string()});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "\nCOM22  356789012345680")) << r.out;
    EXPECT_NE(Card(2).Nv(60000)->at(0), 9) << "put back as it was";
    auto after = writes();
    EXPECT_EQ(after[0], before[0]);
    EXPECT_GT(after[1], before[1]);
    EXPECT_EQ(after[2], before[2]);

    // Two cards of one IMEI (a clone): neither is taken.
    Card(3).SetNv(550, *Card(2).Nv(550));
    r = Run({"restore", snapshot, "--no-restart", "--snapshots", snapshots.string()});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_TRUE(Has(r.err,
                    "several cards have the snapshot's IMEI 356789012345680: COM22, COM32; "
                    "name the one to restore with --port"))
        << r.err;
    EXPECT_EQ(writes(), after);

    cardwright::CardSnapshot other;
    other.imei = "356789012345999";
    const auto elsewhere = dir_.Path() / "elsewhere.json";
    testsupport::Put(elsewhere, cardwright::SnapshotText(other));
    r = Run({"restore", elsewhere.string(), "--snapshots", snapshots.string()});
    EXPECT_EQ(r.exit_code, 1) << r.out;
    EXPECT_TRUE(Has(r.err,
                    "no card plugged in has the snapshot's IMEI 356789012345999; the cards "
                    "have: COM12 356789012345678, COM22 356789012345680, COM32 "
                    "356789012345680"))
        << r.err;
    EXPECT_EQ(writes(), after);
}

}  // namespace
