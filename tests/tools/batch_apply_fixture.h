#pragma once
// apply and restore run in-process against simulated cards of one device root, the library and
// the cards on a faster clock: what the batch tests share.
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <sstream>

#include "cardsim/card_bench.h"
#include "cardsim/card_identity.h"
#include "cardwork/batch/batch_apply.h"
#include "cardwork/batch/card_restore.h"
#include "cardwork/batch/card_return.h"
#include "cardwork/batch/run_folder.h"
#include "cardwork/batch/snapshot.h"
#include "cardwork/batch/work_refusal.h"
#include "cardwork/batch/work_stop.h"
#include "cardwork/card/card_reader.h"
#include "cardwork/card/connection_card.h"
#include "cardwork/card/forwarding_card.h"
#include "cardwork/model/setting_crc.h"
#include "carvex/platform/clock.h"
#include "tests/support/card_fixture.h"
#include "tests/support/card_state.h"
#include "tests/support/files.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_data.h"

namespace cardwright::batch_test {

using cardsim::Command;
using cardsim::Fault;
using namespace std::chrono_literals;

inline const std::filesystem::path kDescription = testsupport::kTestData / "Config_Info.ini";
// Items of every kind, the port setting and two LED statuses.
inline const std::string kValues =
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
        auto path = dir_.Path() / ("settings-" + std::to_string(++files_) + ".ini");
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
        request.run_folder = MakeRunFolder(dir_.Path() / "logs").path;
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

}  // namespace cardwright::batch_test
