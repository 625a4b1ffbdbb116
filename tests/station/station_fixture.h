#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "cardsim/card_bench.h"
#include "cardwork/json/json_document.h"
#include "cardwork/model/setting_crc.h"
#include "cardwork/records/record_store.h"
#include "tests/support/card_fixture.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_data.h"

namespace stationtest {

using cardwright::Json;

// A station run as the operator runs it, its events read from its standard output (--json).
// Killed when the test leaves it running.
class RunningStation {
  public:
    RunningStation(const std::vector<std::string>& args, const std::vector<std::string>& env)
        : program_(CARVEXCTL, args, env) {}
    ~RunningStation() {
        if (program_.Pid() > 0) {
            ::kill(program_.Pid(), SIGKILL);
        }
    }
    RunningStation(const RunningStation&) = delete;
    RunningStation& operator=(const RunningStation&) = delete;

    pid_t Pid() const { return program_.Pid(); }
    void Signal(int signal) const { ::kill(program_.Pid(), signal); }
    int Wait() { return program_.Wait(); }

    // The next event named `name` (a line of --json), skipping the others; nullopt when none
    // came within `limit` or the station ended.
    std::optional<Json> Next(std::string_view name,
                             std::chrono::seconds limit = std::chrono::seconds(90)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return std::nullopt;
            }
            const auto line = program_.ReadLine(left);
            if (!line) {
                return std::nullopt;
            }
            auto parsed = cardwright::ParseJson(*line);
            if (!parsed.value) {
                ADD_FAILURE() << "not a JSON line: " << *line;
                continue;
            }
            seen.push_back(*parsed.value);
            if ((*parsed.value)["event"] == name) {
                return parsed.value;
            }
        }
    }
    // The next card that ended (on `slot` when given).
    std::optional<Json> NextCard(const std::string& slot = {},
                                 std::chrono::seconds limit = std::chrono::seconds(90)) {
        for (;;) {
            auto card = Next("card", limit);
            if (!card || slot.empty() || (*card)["slot"] == slot) {
                return card;
            }
        }
    }
    // Whether the slot's card reaches `step` (at its item `from_item` or a later one) within
    // `limit`.
    bool ReachStep(const std::string& slot, std::string_view step,
                   std::chrono::seconds limit = std::chrono::seconds(60), size_t from_item = 0) {
        for (;;) {
            const auto progress = Next("progress", limit);
            if (!progress) {
                return false;
            }
            if ((*progress)["slot"] == slot && (*progress)["step"] == step &&
                (*progress)["item"].get<size_t>() >= from_item) {
                return true;
            }
        }
    }

    std::vector<Json> seen;

  private:
    testsupport::RunningProgram program_;
};

// Simulated cards plugged into a machine, a setting file for them, and a station's folders.
class StationTest : public ::testing::Test {
  protected:
    static constexpr const char* kValues = "B_LOW=9\r\nMODE=2\r\nDEVICE_STATE_INFO=1026\r\n";

    // `cards` plugged in; the first into the USB device `usb_device` when given (the next ones
    // into the ports of a hub there), as ModemManager knows them.
    void Plug(int cards, const std::string& usb_device = {}) {
        cardsim::CardBench::Options options;
        options.profile = testsupport::TestProfile();
        options.profile.usb_device = usb_device;
        options.cards = cards;
        options.state_file = dir_.Path() / "card.nv";
        options.root = root_;
        bench_.emplace(std::move(options));
    }
    cardsim::SimulatedCard& Card(int number) { return bench_->Card(number); }
    std::string Imei(int number) { return bench_->StatusOf(number).imei.value_or(""); }

    std::filesystem::path Records() const { return dir_.Path() / "records.db"; }
    std::filesystem::path Snapshots() const {
        return dir_.Path() / "state" / "carvex" / "snapshots";
    }

    std::vector<std::string> Environment() const {
        return {"CARVEX_ROOT=" + (root_ ? *root_ : bench_->Root().Path()).string(),
                "XDG_STATE_HOME=" + (dir_.Path() / "state").string(),
                "XDG_CONFIG_HOME=" + (dir_.Path() / "config").string(),
                "CARVEX_CONFIG=" + (dir_.Path() / "carvex").string(),
                "DBUS_SYSTEM_BUS_ADDRESS=" + bus_address_};
    }

    std::string SettingFile() {
        const auto path = dir_.Path() / "settings.ini";
        const std::string values = kValues;
        testsupport::Put(
            path, "[DATACARD_TYPE]\r\nVALUE=LW-X4201\r\n[DEFAULT]\r\n" + values +
                      "[CRC]\r\nVALUE=" + std::to_string(cardwright::SettingCrc(values)) + "\r\n");
        return path.string();
    }

    // The arguments of a station on the bench's cards, with the options given after the usual
    // ones.
    std::vector<std::string> StationArguments(const std::vector<std::string>& more = {}) {
        std::vector<std::string> args = {
            "station",       SettingFile(),
            "--description", (testsupport::kTestData / "Config_Info.ini").string(),
            "--records",     Records().string(),
            "--station",     "line-7",
            "--json"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    std::unique_ptr<RunningStation> Start(const std::vector<std::string>& more = {}) {
        return std::make_unique<RunningStation>(StationArguments(more), Environment());
    }

    // Every record of the database, oldest first.
    std::vector<cardwright::StoredRecord> StoredRecords(const std::string& imei = {}) const {
        const cardwright::RecordStore store(Records(), cardwright::RecordStore::IfMissing::kRefuse);
        return store.Find({.imei = imei});
    }

    size_t NvWrites(int card) {
        return testsupport::RequestsOf(Card(card), cardsim::Command::kNvWrite).size();
    }

    testsupport::TempDir dir_;
    // No ModemManager unless a test starts one: a bus that is not there.
    std::string bus_address_ = "unix:path=" + (dir_.Path() / "no-bus").string();
    std::optional<std::filesystem::path> root_;  // the device root, when not the bench's own
    std::optional<cardsim::CardBench> bench_;
};

}  // namespace stationtest
