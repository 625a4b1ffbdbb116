#include <dirent.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "carvex/carvex.h"
#include "tests/api/exports_fixture.h"

namespace {

using namespace std::chrono_literals;
using cardsim::Command;
using cardsim::Fault;
using Bytes = std::vector<uint8_t>;
using testsupport::ExportsTest;

size_t CountEntries(const char* directory) {
    size_t count = 0;
    if (DIR* dir = ::opendir(directory)) {
        while (const dirent* entry = ::readdir(dir)) {
            count += entry->d_name[0] != '.';
        }
        ::closedir(dir);
    }
    return count;
}

// A caller's null pointer is refused before anything reaches the card.
TEST_F(ExportsTest, NullPointersAreRefusedBeforeAnyExchange) {
    ASSERT_NO_FATAL_FAILURE(Open());
    constexpr int32_t kUntouched = -1;  // the export has no status of its own to write
    struct Case {
        const char* call;
        std::function<int32_t(int32_t*)> run;
        int32_t status;
    } cases[] = {
        {"CarvexItem", [](int32_t*) { return CarvexItem(50030, nullptr, 4); }, kUntouched},
        {"ReadNvItem", [](int32_t* s) { return ReadNvItem(50030, nullptr, 128, s); }, 0},
        {"GetIMEI", [](int32_t* s) { return GetIMEI(nullptr, 15, s); }, 0},
        {"GetFirmwareVersion", [](int32_t* s) { return GetFirmwareVersion(nullptr, 128, s); }, 0},
        {"GetPCBVersion", [](int32_t* s) { return GetPCBVersion(nullptr, 128, s); }, 0},
        {"GetDashboardVersion", [](int32_t* s) { return GetDashboardVersion(nullptr, 128, s); }, 0},
        {"GetBoardType", [](int32_t*) { return GetBoardType(nullptr); }, kUntouched},
        {"IsNewVersion", [](int32_t*) { return IsNewVersion(nullptr); }, kUntouched},
        {"GetPnPState value",
         [](int32_t* s) {
             int32_t bits = 0;
             return GetPnPState(nullptr, &bits, s);
         },
         0},
        {"GetPnPState mask",
         [](int32_t* s) {
             int32_t value = 0;
             return GetPnPState(&value, nullptr, s);
         },
         0},
    };
    for (const auto& c : cases) {
        int32_t status = kUntouched;
        EXPECT_EQ(c.run(&status), 0) << c.call;
        EXPECT_EQ(status, c.status) << c.call;
    }
    EXPECT_TRUE(card().Requests().empty()) << "nothing was sent";
    EXPECT_FALSE(card().WaitForRequests(1, 50ms));

    EXPECT_EQ(CRCSlow(nullptr, 9), 0xFFFFu) << "a null buffer is empty";
    EXPECT_EQ(CRCFast(nullptr, 9), 0xFFFFu);

    // Status pointers stay optional where they always were, and a length of 0 needs no data.
    ASSERT_EQ(CarvexItem(50030, nullptr, 0), 1);
    EXPECT_EQ(*card().Nv(50030), cardsim::NvValue{});
    Bytes buffer(128);
    EXPECT_EQ(ReadNvItem(50031, buffer.data(), 128, nullptr), 1);
    EXPECT_EQ(BackupNVItems(nullptr), 1);
}

// Replies the card cuts short: an NV reply without its status is no reply (and is retried), a
// backup reply without its result byte confirms nothing. On this slower clock an NV wait lasts
// 800 ms: a short reply must end its attempt at once rather than wait that out.
class ShortRepliesTest : public ExportsTest {
  protected:
    ShortRepliesTest() : ExportsTest(5) {}
};

TEST_F(ShortRepliesTest, AreNotSuccesses) {
    ASSERT_NO_FATAL_FAILURE(Open());
    card().SetFault(Command::kNvWrite, Fault::Make(Fault::Kind::kLength, 3));
    const Bytes value{1, 2, 3, 4};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CarvexItem(50030, value.data(), 4), 0) << "a truncated acknowledgement";
    EXPECT_LT(std::chrono::steady_clock::now() - start, carvex::GetClock().Real(4000ms))
        << "three attempts that ended at once, with only the pauses after them";
    EXPECT_EQ(Requests(Command::kNvWrite).size(), 3u) << "retried as usual";

    card().ClearRequests();
    card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kLength, 132, 1));
    Bytes buffer(128, 0xEE);
    int32_t status = -1;
    EXPECT_EQ(ReadNvItem(50031, buffer.data(), 128, &status), 1) << "the second attempt is whole";
    EXPECT_EQ(status, 1) << "left by the short first reply";
    EXPECT_EQ(Requests(Command::kNvRead).size(), 2u);

    card().ClearRequests();
    card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kLength, 1));
    status = -1;
    EXPECT_EQ(ReadNvItem(50031, buffer.data(), 128, &status), 0) << "the command byte alone";
    EXPECT_EQ(status, 1);

    card().SetFault(Command::kBackup, Fault::Make(Fault::Kind::kLength, 1, 1));
    status = -1;
    const auto backup = std::chrono::steady_clock::now();
    EXPECT_EQ(BackupNVItems(&status), 0) << "the command byte without its result";
    EXPECT_EQ(status, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - backup, carvex::GetClock().Real(20000ms));
    card().SetFault(Command::kBackup, Fault::Make(Fault::Kind::kLength, 2, 1));
    EXPECT_EQ(BackupNVItems(&status), 1) << "the result byte is all a backup reply needs";
}

// Opening, reading and closing while the card never stops sending: every round ends, and the
// process holds no more descriptors or threads afterwards than before.
TEST_F(ExportsTest, ChurnUnderAStreamOfUnsolicitedFrames) {
    constexpr int kRounds = 300;
    card().StreamUnsolicited(true);
    ASSERT_NO_FATAL_FAILURE(Open());
    CloseCommPort();
    const size_t fds_before = CountEntries("/proc/self/fd");
    const size_t threads_before = CountEntries("/proc/self/task");

    std::promise<int> finished;
    std::thread rounds([&] {
        int failed = 0;
        Bytes buffer(128);
        for (int round = 0; round < kRounds; ++round) {
            int32_t status = 0;
            if (InitCommPort() != 1 || ReadNvItem(50031, buffer.data(), 128, &status) != 1) {
                ++failed;
            }
            CloseCommPort();
        }
        finished.set_value(failed);
    });
    auto result = finished.get_future();
    if (result.wait_for(240s) != std::future_status::ready) {
        std::fprintf(stderr, "a round of open, read and close never ended\n");
        std::_Exit(1);  // the hung thread cannot be joined
    }
    rounds.join();
    EXPECT_EQ(result.get(), 0) << "rounds whose open or read failed";
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds_before);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads_before);
}

}  // namespace
