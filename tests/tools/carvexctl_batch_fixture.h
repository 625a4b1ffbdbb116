#pragma once
// Simulated cards plugged in together, and carvexctl run against them, for the tests of the batch
// commands.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cardsim/card_bench.h"
#include "tests/support/card_fixture.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"
#include "tests/support/setting_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_data.h"

namespace testsupport::batch {

using testsupport::kDescription;

inline const std::string kValues = "B_LOW=9\r\nMODE=2\r\nDEVICE_STATE_INFO=1026\r\n";

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The lines of a text.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// Waits until the card was asked `command` (an NV read, an NV write), or `limit` has passed.
inline bool WaitForRequest(const cardsim::SimulatedCard& card, cardsim::Command command,
                           std::chrono::seconds limit) {
    const auto give_up = std::chrono::steady_clock::now() + limit;
    while (testsupport::RequestsOf(card, command).empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            give_up - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !card.WaitForRequests(card.Requests().size() + 1, left)) {
            return false;
        }
    }
    return true;
}

class CarvexctlBatchTest : public ::testing::Test {
  protected:
    void Plug(int cards) {
        cardsim::CardBench::Options options;
        options.profile = testsupport::TestProfile();
        options.cards = cards;
        options.state_file = dir_.Path() / "card.nv";
        bench_.emplace(std::move(options));
    }
    cardsim::SimulatedCard& Card(int number) { return bench_->Card(number); }

    std::vector<std::string> Environment() const {
        return {"CARVEX_ROOT=" + bench_->Root().Path().string(),
                "XDG_STATE_HOME=" + (dir_.Path() / "state").string(),
                "XDG_CONFIG_HOME=" + (dir_.Path() / "config").string()};
    }
    testsupport::ProgramResult Run(const std::vector<std::string>& args) {
        return testsupport::RunProgram(CARVEXCTL, args, Environment());
    }

    std::string SettingFile(const std::string& values = kValues) {
        return testsupport::PutSettingFile(dir_.Path() / "settings.ini", values);
    }

    testsupport::TempDir dir_;
    std::optional<cardsim::CardBench> bench_;
};

}  // namespace testsupport::batch
