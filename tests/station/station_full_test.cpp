// carvexctl station through what a day on a line brings: the station killed during a write and
// started again, and a hundred cards plugged in and pulled out. These take minutes.
#include <sys/types.h>

#include <filesystem>
#include <fstream>
#include <iostream>

#include "tests/station/station_fixture.h"
#include "tests/support/wait_until.h"

namespace stationtest {
namespace {

namespace fs = std::filesystem;

size_t OpenDescriptors(pid_t pid) {
    size_t count = 0;
    std::error_code error;
    for (fs::directory_iterator entry("/proc/" + std::to_string(pid) + "/fd", error), end;
         !error && entry != end; entry.increment(error)) {
        ++count;
    }
    return count;
}

// The resident set of the process, as the kernel tells it ("VmRSS:  12345 kB").
long ResidentKib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// A station killed during a write leaves its record in progress; the next one marks it
// interrupted and works the card again, keeping the snapshot taken before the first write.
TEST_F(StationTest, KilledDuringAWriteTheNextStationMarksItAndWorksTheCardAgain) {
    Plug(1);
    {
        auto killed = Start();
        ASSERT_TRUE(killed->ReachStep("COM12", "writing"));
        killed->Signal(SIGKILL);
        killed->Wait();
    }
    auto station = Start();
    const auto card = station->NextCard("COM12");
    ASSERT_TRUE(card);
    EXPECT_EQ((*card)["result"], "ok") << card->dump();
    station->Signal(SIGTERM);
    EXPECT_EQ(station->Wait(), 0);

    const auto records = StoredRecords();
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(records[0].outcome, cardwright::RecordOutcome::kInterrupted);
    EXPECT_EQ(records[0].step, "writing");
    EXPECT_EQ(records[1].result, "ok");
    EXPECT_FALSE(records[0].snapshot.empty());
    EXPECT_EQ(records[1].snapshot, records[0].snapshot);
    EXPECT_EQ(Card(1).Nv(60000)->at(0), 9);
}

// A hundred times a card is plugged in and pulled out again while the station opens it: the
// station holds no more descriptors at the end than it did after its first card, though an
// after-hook ran for every card.
TEST_F(StationTest, AHundredPlugsAndPullsLeaveTheDescriptorsFlat) {
    Plug(1);
    auto station = Start({"--after-hook", "cat > /dev/null"});
    const auto first = station->NextCard("COM12");
    ASSERT_TRUE(first);
    ASSERT_EQ((*first)["result"], "ok");
    bench_->Unplug(1);
    ASSERT_TRUE(station->Next("slot"));  // idle
    const size_t base = OpenDescriptors(station->Pid());
    const long base_kib = ResidentKib(station->Pid());

    constexpr int kCycles = 100;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        bench_->Replug(1);
        ASSERT_TRUE(station->ReachStep("COM12", "opening the card")) << "cycle " << cycle;
        bench_->Unplug(1);
        ASSERT_TRUE(station->NextCard("COM12")) << "cycle " << cycle;
    }
    EXPECT_TRUE(testsupport::WaitUntil([&] { return OpenDescriptors(station->Pid()) <= base; }))
        << OpenDescriptors(station->Pid()) << " descriptors open, " << base << " before";
    const long end_kib = ResidentKib(station->Pid());
    std::cout << "station resident memory: " << base_kib << " KiB after its first card, " << end_kib
              << " KiB after " << kCycles << " plugs and pulls\n";
    RecordProperty("resident_kib_first_card", static_cast<int>(base_kib));
    RecordProperty("resident_kib_after_cycles", static_cast<int>(end_kib));
    station->Signal(SIGTERM);
    EXPECT_EQ(station->Wait(), 1);
    EXPECT_EQ(StoredRecords().size(), static_cast<size_t>(kCycles) + 1);
}

}  // namespace
}  // namespace stationtest
