#include <gtest/gtest.h>

#include <random>

#include "carvex/carvex.h"
#include "tests/api/exports_fixture.h"

namespace {

using namespace std::chrono_literals;
using cardsim::Command;
using cardsim::Fault;
using Bytes = std::vector<uint8_t>;
using testsupport::ExportsTest;

TEST_F(ExportsTest, InitSwitchesToDiagThenClosesAndReopensThePort) {
    ASSERT_EQ(InitCommPort(), 1);
    const auto requests = card().Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].bytes, Bytes({'A', 'T', '$', 'Q', 'C', 'D', 'M', 'G', '\r', 0x7E}));
    ASSERT_TRUE(card().WaitForPortEvents(3, 5s));
    const auto events = card().PortEvents();
    using E = cardsim::PortEvent;
    const auto pcui = cardsim::Channel::kPcUi;
    EXPECT_EQ(std::vector<E>(events.begin(), events.begin() + 3),
              (std::vector<E>{{pcui, true}, {pcui, false}, {pcui, true}}));
    EXPECT_TRUE(card().InDiagMode());
    EXPECT_EQ(CloseCommPort(), 1);
    EXPECT_EQ(CloseCommPort(), 1);
}

TEST_F(ExportsTest, ReadAndWriteRoundTrip) {
    ASSERT_NO_FATAL_FAILURE(Open());
    Bytes imei(15, 0xEE);
    int32_t status = -1;
    ASSERT_EQ(ReadNvItem(550, imei.data(), 15, &status), 1);
    EXPECT_EQ(Bytes(imei.begin(), imei.begin() + 10),
              Bytes({0x08, 0x3A, 0x65, 0x87, 0x09, 0x21, 0x43, 0x65, 0x27, 0x00}));
    EXPECT_EQ(status, -1) << "a success writes no status";

    const Bytes value = {0x11, 0x22, 0x7E, 0x7D};
    ASSERT_EQ(CarvexItem(50030 + 0x10000, value.data(), 4), 1) << "only the low 16 bits count";
    const auto writes = Requests(Command::kNvWrite);
    ASSERT_EQ(writes.size(), 1u);
    Bytes expected(133, 0);
    expected[0] = 0x27;
    expected[1] = 50030 & 0xFF;
    expected[2] = 50030 >> 8;
    std::copy(value.begin(), value.end(), expected.begin() + 3);
    EXPECT_EQ(writes[0].bytes, expected) << "4 bytes, then 124 zeros";

    Bytes back(128);
    ASSERT_EQ(ReadNvItem(50030, back.data(), 128, &status), 1);
    EXPECT_EQ(Bytes(back.begin(), back.begin() + 5), Bytes({0x11, 0x22, 0x7E, 0x7D, 0x00}));
}

TEST_F(ExportsTest, CarvexItemLengthLimits) {
    ASSERT_NO_FATAL_FAILURE(Open());
    const Bytes data(200, 0x5A);
    ASSERT_EQ(CarvexItem(50031, data.data(), 0), 1);
    ASSERT_EQ(Requests(Command::kNvWrite).size(), 1u);
    const Bytes written = Requests(Command::kNvWrite)[0].bytes;
    EXPECT_EQ(Bytes(written.begin() + 3, written.begin() + 131), Bytes(128, 0));
    card().ClearRequests();
    EXPECT_EQ(CarvexItem(50031, data.data(), 129), 0);
    EXPECT_EQ(CarvexItem(50031, data.data(), 0xFFFFFFFFu), 0);
    EXPECT_TRUE(card().Requests().empty()) << "nothing is sent";
}

TEST_F(ExportsTest, ReadNvItemCopiesAtMost128AndNothingForNegativeLengths) {
    ASSERT_NO_FATAL_FAILURE(Open());
    Bytes big(300, 0xEE);
    int32_t status = 0;
    ASSERT_EQ(ReadNvItem(50051, big.data(), 300, &status), 1);
    EXPECT_EQ(big[0], '+');
    EXPECT_EQ(big[127], 0x00);
    EXPECT_EQ(big[128], 0xEE) << "nothing beyond the 128 data bytes";
    Bytes untouched(4, 0xEE);
    ASSERT_EQ(ReadNvItem(50051, untouched.data(), -1, &status), 1);
    EXPECT_EQ(untouched, Bytes(4, 0xEE));
}

TEST_F(ExportsTest, NvStatusesAndRetries) {
    auto profile = testsupport::ExampleProfile();
    profile.inactive.insert(6907);
    StartCard(profile);
    ASSERT_NO_FATAL_FAILURE(Open());
    Bytes buffer(128);
    int32_t status = 0;
    EXPECT_EQ(ReadNvItem(6907, buffer.data(), 128, &status), 0);
    EXPECT_EQ(status, 5);
    EXPECT_EQ(Requests(Command::kNvRead).size(), 1u) << "an inactive item is not asked again";

    card().ClearRequests();
    EXPECT_EQ(CarvexItem(550, buffer.data(), 15), 0) << "read-only";
    EXPECT_EQ(Requests(Command::kNvWrite).size(), 1u);

    card().ClearRequests();
    card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kNvStatus, 1, 3));
    EXPECT_EQ(ReadNvItem(550, buffer.data(), 128, &status), 0);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(Requests(Command::kNvRead).size(), 3u);

    card().ClearRequests();
    card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kNvStatus, 3, 2));
    status = 0;
    EXPECT_EQ(ReadNvItem(550, buffer.data(), 128, &status), 1) << "third attempt succeeds";
    EXPECT_EQ(status, 7) << "left from the failed attempts";
    EXPECT_EQ(Requests(Command::kNvRead).size(), 3u);

    struct Mapping {
        int nv_status;
        int32_t request_status;
        size_t attempts;
    } mappings[] = {{6, 6, 1}, {7, 4, 1}, {9, 8, 3}, {2, 3, 3}, {11, 3, 3}};
    for (const auto& m : mappings) {
        card().ClearRequests();
        card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kNvStatus, m.nv_status));
        EXPECT_EQ(ReadNvItem(550, buffer.data(), 128, &status), 0);
        EXPECT_EQ(status, m.request_status) << m.nv_status;
        EXPECT_EQ(Requests(Command::kNvRead).size(), m.attempts) << m.nv_status;
    }
}

TEST_F(ExportsTest, AnotherCommandsReplyDoesNotEndTheWait) {
    ASSERT_NO_FATAL_FAILURE(Open());
    card().SetFault(Command::kNvRead, Fault::Make(Fault::Kind::kErrorReply));
    Bytes buffer(128);
    int32_t status = 0;
    EXPECT_EQ(ReadNvItem(550, buffer.data(), 128, &status), 0);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(Requests(Command::kNvRead).size(), 3u);
}

TEST_F(ExportsTest, NoCardMeansNoConnection) {
    plugged_.Pull();
    EXPECT_EQ(InitCommPort(), 0);
    Bytes buffer(128);
    int32_t status = -1;
    EXPECT_EQ(ReadNvItem(550, buffer.data(), 128, &status), 0);
    EXPECT_EQ(status, 0) << "the request cannot be written on a closed connection";
    EXPECT_EQ(CloseCommPort(), 1);
    status = -1;
    EXPECT_EQ(ReadNvItem(550, buffer.data(), 128, &status), 0);
    EXPECT_EQ(status, 0) << "nor without a connection";
    EXPECT_EQ(CarvexItem(550, buffer.data(), 1), 0);
}

TEST_F(ExportsTest, SecondInitReplacesTheFirstConnection) {
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_EQ(InitCommPort(), 1) << "the first connection's port was released";
    Bytes buffer(128);
    int32_t status = 0;
    EXPECT_EQ(ReadNvItem(550, buffer.data(), 128, &status), 1);
}

// Every export in any order, with and without a card, must neither crash nor hang.
TEST_F(ExportsTest, ExportsSurviveAnyOrder) {
    std::mt19937 random(7);
    Bytes buffer(128);
    int32_t status = 0;
    for (int step = 0; step < 60; ++step) {
        switch (random() % 6) {
            case 0:
                InitCommPort();
                break;
            case 1:
                CloseCommPort();
                break;
            case 2:
                ReadNvItem(static_cast<int32_t>(random() % 3 == 0 ? 6907 : 550), buffer.data(),
                           static_cast<int32_t>(random() % 300) - 50, &status);
                break;
            case 3:
                CarvexItem(50030, buffer.data(), random() % 140);
                break;
            case 4:
                CRCFast(buffer.data(), static_cast<int32_t>(random() % 129));
                break;
            case 5:
                card().SetFault(
                    Command::kNvRead,
                    Fault::Make(random() % 2 ? Fault::Kind::kNoReply : Fault::Kind::kSplit, 0, 1));
                break;
        }
    }
    CloseCommPort();
    ASSERT_EQ(InitCommPort(), 1);
    card().ClearFaults();
    EXPECT_EQ(ReadNvItem(550, buffer.data(), 128, &status), 1);
}

}  // namespace
