// carvexctl's --json against simulated cards: each command's output is one JSON document that a
// strict parser takes whole, and the errors stay where they were.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cardsim/card_bench.h"
#include "tests/support/card_fixture.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"
#include "tests/support/setting_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_data.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using testsupport::RunProgram;

using testsupport::kDescription;
const std::string kValues = "B_LOW=9\r\nMODE=2\r\nDEVICE_STATE_INFO=1026\r\n";

// The whole of standard output as one JSON value: anything before or after it fails the parse.
Json Document(const testsupport::ProgramResult& result) {
    try {
        return Json::parse(result.out);
    } catch (const Json::exception& error) {
        ADD_FAILURE() << error.what() << "\n" << result.out << result.err;
        return {};
    }
}

class CarvexctlJsonTest : public ::testing::Test {
  protected:
    void Plug(int cards) {
        cardsim::CardBench::Options options;
        options.profile = testsupport::TestProfile();
        options.profile.inactive.insert(6907);
        options.cards = cards;
        options.state_file = dir_.Path() / "card.nv";
        bench_.emplace(std::move(options));
    }
    testsupport::ProgramResult Run(const std::vector<std::string>& args) {
        return RunProgram(CARVEXCTL, args,
                          {"CARVEX_ROOT=" + bench_->Root().Path().string(),
                           "XDG_STATE_HOME=" + (dir_.Path() / "state").string()});
    }

    std::string SettingFile(const std::string& values = kValues) {
        return testsupport::PutSettingFile(dir_.Path() / "settings.ini", values);
    }

    testsupport::TempDir dir_;
    std::optional<cardsim::CardBench> bench_;
};

TEST_F(CarvexctlJsonTest, CardsAndInfoFieldByField) {
    Plug(2);
    const Json first = {
        {"port", "COM12"},     {"modem_port", "COM13"},          {"imei", "356789012345678"},
        {"model", "LW-X4201"}, {"firmware", "31.742.06.19.208"}, {"error", nullptr}};
    auto r = Run({"cards", "--json"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    Json cards = Document(r);
    ASSERT_EQ(cards.size(), 2u) << r.out;
    EXPECT_EQ(cards[0], first);
    EXPECT_EQ(cards[1]["port"], "COM22");
    EXPECT_EQ(cards[1]["imei"], "356789012345680");

    // A card that cannot be asked: no answers, and why.
    r = Run({"cards", "--json", "--port", "COM12", "--port", "COM32"});
    EXPECT_EQ(r.exit_code, 1);
    cards = Document(r);
    ASSERT_EQ(cards.size(), 2u) << r.out;
    EXPECT_EQ(cards[0], first);
    EXPECT_EQ(cards[1], (Json{{"port", "COM32"},
                              {"modem_port", nullptr},
                              {"imei", nullptr},
                              {"model", nullptr},
                              {"firmware", nullptr},
                              {"error", "no card on COM32"}}));

    r = Run({"info", "--json", "--port", "COM22"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(Document(r), (Json{{"port", "COM22"},
                                 {"imei", "356789012345680"},
                                 {"firmware_version", "31.742.06.19.208"},
                                 {"hardware_version", "LWX4201-MBR3-QK7A Ver.C"},
                                 {"dashboard_version", "LWDS31.742.06.19.208"},
                                 {"board_type", "LW-X4201"},
                                 {"new_version", false},
                                 {"port_setting", {{"state", 1}, {"port_mask", 20}}},
                                 {"errors", Json::object()}}));
    EXPECT_NE(r.err.find("switching it to DIAG"), std::string::npos) << "progress goes to stderr";
}

// What the card does not answer is null, with the card's reason beside it.
TEST(CarvexctlJson, InfoGivesNullAndTheReasonForWhatTheCardDidNotAnswer) {
    auto profile = testsupport::ExampleProfile();
    profile.inactive.insert(550);
    testsupport::CardUnderTest card(profile);
    const auto r = RunProgram(CARVEXCTL, {"info", "--json"},
                              {"CARVEX_ROOT=" + card.card->Root().Path().string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const Json info = Document(r);
    EXPECT_TRUE(info["imei"].is_null()) << r.out;
    EXPECT_EQ(info["errors"], (Json{{"imei", "item 550 is not active on the card (NV status 5)"}}));
    EXPECT_EQ(info["board_type"], "LW-X4201");
}

TEST_F(CarvexctlJsonTest, NvReadReadAndVerify) {
    Plug(1);
    ASSERT_EQ(Run({"nv", "write", "50030", "12 34 7e"}).exit_code, 0);
    auto r = Run({"nv", "read", "50030", "--json"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(Document(r), (Json{{"item", 50030}, {"data", "12347e" + std::string(250, '0')}}));
    // An error is said on standard error, with the status it has without --json.
    r = Run({"nv", "read", "6907", "--json"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("not active"), std::string::npos) << r.err;
    EXPECT_EQ(Run({"nv", "read", "50030", "--json", "--raw"}).exit_code, 2);

    const auto values = dir_.Path() / "values.ini";
    r = Run({"read", "--json", "--description", kDescription, "--values-out", values.string(),
             "--section", "READ"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const Json read = Document(r);
    EXPECT_EQ(read["port"], "COM12");
    EXPECT_EQ(read["common_info"]["imei"], "356789012345678");
    EXPECT_EQ(read["common_info"]["card_type"], "LW-X4201");
    EXPECT_EQ(read["complete"], true);
    EXPECT_EQ(read["solution"], (Json{{"values_file", values.string()}, {"section", "READ"}}));
    ASSERT_FALSE(read["items"].empty());
    for (const Json& item : read["items"]) {
        EXPECT_TRUE(item["read"].get<bool>() == item["error"].is_null()) << item;
    }

    const std::string settings = SettingFile();
    r = RunProgram(CARVEXCTL, {"verify", settings, "--json", "--description", kDescription});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    Json verdict = Document(r);
    EXPECT_EQ(verdict["importable"], true);
    EXPECT_EQ(verdict["seal_holds"], true);
    EXPECT_EQ(verdict["card_type"], "LW-X4201");
    EXPECT_EQ(verdict["stored_crc"], verdict["computed_crc"]);
    EXPECT_EQ(verdict["values_decode"], true);
    EXPECT_EQ(verdict["item_values"], 5) << "the port setting's items count";
    EXPECT_TRUE(verdict["left_to_defaults"].is_array()) << verdict;
    // Edited after it was sealed: not importable, exit 1 as without --json.
    std::string text = testsupport::Contents(settings);
    testsupport::Put(settings, text.replace(text.find("B_LOW=9"), 7, "B_LOW=8"));
    r = RunProgram(CARVEXCTL, {"verify", settings, "--json"});
    EXPECT_EQ(r.exit_code, 1);
    verdict = Document(r);
    EXPECT_EQ(verdict["importable"], false);
    EXPECT_EQ(verdict["seal_holds"], false);
    EXPECT_NE(verdict["stored_crc"], verdict["computed_crc"]);
    EXPECT_TRUE(verdict["values_decode"].is_null());
}

// apply and restore: the run's facts, where its files went, and each card as the run folder's
// summary.json has it, so that the output and the file agree.
TEST_F(CarvexctlJsonTest, ApplyAndRestoreSummariesAgreeWithTheRunFolder) {
    Plug(1);
    const auto logs = dir_.Path() / "logs";
    const auto report = dir_.Path() / "report.csv";
    auto r = Run({"apply", SettingFile(), "--json", "--description", kDescription, "--no-restart",
                  "--logs", logs.string(), "--report", report.string(), "--station", "bench-7"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    Json summary = Document(r);
    const fs::path run = summary["logs"].get<std::string>();
    EXPECT_EQ(run.parent_path(), logs);
    EXPECT_EQ(summary["cards"], Json::parse(testsupport::Contents(run / "summary.json")));
    EXPECT_EQ(summary["report"], report.string());
    EXPECT_EQ(summary["station"], "bench-7");
    EXPECT_EQ(summary["settings_file"], SettingFile());
    EXPECT_TRUE(summary["tool_version"].get<std::string>().starts_with("carvexctl "));
    EXPECT_EQ(summary["cards_ok"], 1);
    EXPECT_EQ(summary["dry_run"], false);
    EXPECT_EQ(summary["stopped_by"], nullptr);
    EXPECT_EQ(summary["items_left_to_defaults"].size(), 12u) << summary;
    EXPECT_EQ(summary["cards"][0]["result"], "ok");
    const std::string snapshot = summary["cards"][0]["snapshot"];

    // A dry run: per card each NV item with the card's bytes and those the write would send.
    r = Run({"apply", SettingFile("B_LOW=7\r\nMODE=2\r\n"), "--json", "--description", kDescription,
             "--dry-run"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    summary = Document(r);
    EXPECT_EQ(summary["dry_run"], true);
    ASSERT_EQ(summary["plans"].size(), 1u) << summary;
    const Json& plan = summary["plans"][0];
    EXPECT_EQ(plan["port"], "COM12");
    bool found = false;
    for (const Json& item : plan["items"]) {
        if (item["item"] == 60000) {
            found = true;
            EXPECT_EQ(item["changes"], true);
            EXPECT_EQ(item["before"].get<std::string>().substr(0, 2), "09") << item;
            EXPECT_EQ(item["after"].get<std::string>().substr(0, 2), "07") << item;
        }
    }
    EXPECT_TRUE(found) << plan;

    r = Run({"restore", snapshot, "--json", "--no-restart", "--logs", logs.string()});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    summary = Document(r);
    EXPECT_EQ(summary["settings_file"], snapshot);
    ASSERT_EQ(summary["cards"].size(), 1u);
    EXPECT_EQ(summary["cards"][0]["result"], "ok");
    EXPECT_EQ(summary["cards"],
              Json::parse(testsupport::Contents(fs::path(summary["logs"].get<std::string>()) /
                                                "summary.json")));
}

// No card: an empty list, the reason on standard error, and 1 as without --json.
TEST(CarvexctlJson, CardsWithoutACardIsAnEmptyList) {
    testsupport::TempDir empty_root;
    const auto r =
        RunProgram(CARVEXCTL, {"cards", "--json"}, {"CARVEX_ROOT=" + empty_root.Path().string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(Document(r), Json::array());
    EXPECT_NE(r.err.find("No card found"), std::string::npos) << r.err;
}

}  // namespace
