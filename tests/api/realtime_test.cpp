// The card's real timings, kept: these tests run on the real clock and the shipped library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>

#include "cardsim/pty_pair.h"
#include "carvex/link/at_port.h"
#include "carvex/platform/device_publisher.h"
#include "carvex/platform/environment.h"
#include "tests/support/card_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The exports, looked up in the shared library as a program that links it sees them.
class SharedLibrary {
  public:
    SharedLibrary() : handle_(dlopen(CARVEX_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {}
    ~SharedLibrary() {
        if (handle_ != nullptr) {
            dlclose(handle_);
        }
    }
    template <class F>
    F* Get(const char* name) {
        return reinterpret_cast<F*>(dlsym(handle_, name));
    }
    bool Loaded() const { return handle_ != nullptr; }

  private:
    void* handle_;
};

class RealTimingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(library_.Loaded()) << dlerror();
        carvex::SetEnvironmentValue("CARVEX_ROOT", card_.card->Root().Path().string());
        init_ = library_.Get<int32_t()>("InitCommPort");
        close_ = library_.Get<int32_t()>("CloseCommPort");
        read_ = library_.Get<int32_t(int32_t, uint8_t*, int32_t, int32_t*)>("ReadNvItem");
        ASSERT_TRUE(init_ && close_ && read_);
    }
    void TearDown() override {
        close_();
        carvex::RemoveEnvironmentValue("CARVEX_ROOT");
    }

    testsupport::CardUnderTest card_{testsupport::ExampleProfile()};
    SharedLibrary library_;
    int32_t (*init_)() = nullptr;
    int32_t (*close_)() = nullptr;
    int32_t (*read_)(int32_t, uint8_t*, int32_t, int32_t*) = nullptr;
};

TEST_F(RealTimingTest, InitPausesAroundTheReopenAndReadsThroughTheSharedLibrary) {
    const auto start = Clock::now();
    ASSERT_EQ(init_(), 1);
    EXPECT_GE(Clock::now() - start, 1100ms) << "500 ms, the 100 ms after closing, 500 ms";
    std::array<uint8_t, 15> imei{};
    int32_t status = -1;
    ASSERT_EQ(read_(550, imei.data(), 15, &status), 1);
    EXPECT_EQ(imei[0], 0x08);
}

TEST_F(RealTimingTest, CardThatNeverAnswersHoldsAnNvReadForAbout13Seconds) {
    ASSERT_EQ(init_(), 1);
    card_.card->SetFault(cardsim::Command::kNvRead,
                         cardsim::Fault::Make(cardsim::Fault::Kind::kNoReply));
    std::array<uint8_t, 128> buffer{};
    int32_t status = -1;
    const auto start = Clock::now();
    EXPECT_EQ(read_(550, buffer.data(), 128, &status), 0);
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(status, 1);
    EXPECT_GE(elapsed, 12900ms);
    EXPECT_LE(elapsed, 15000ms);
}

TEST_F(RealTimingTest, BackupWithoutAnAnswerWaitsTwentySecondsThenOneMore) {
    ASSERT_EQ(init_(), 1);
    auto backup = library_.Get<int32_t(int32_t*)>("BackupNVItems");
    ASSERT_NE(backup, nullptr);
    card_.card->SetFault(cardsim::Command::kBackup,
                         cardsim::Fault::Make(cardsim::Fault::Kind::kErrorReply));
    int32_t status = -1;
    const auto start = Clock::now();
    EXPECT_EQ(backup(&status), 0);
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(status, 1) << "an error packet is not the answer";
    EXPECT_GE(elapsed, 21000ms);
    EXPECT_LE(elapsed, 23000ms);
}

TEST(AtPortRealTiming, SilentCardGivesNoAnswerAfterAboutFourSeconds) {
    testsupport::TempDir dir;
    carvex::DevicePublisher publisher{carvex::DeviceRoot(dir.Path())};
    cardsim::PtyPair pty;
    publisher.PublishComPort("COM13", pty.SlavePath());
    carvex::AtPort at(publisher.Root());
    ASSERT_TRUE(at.Open(13));
    std::array<char, 128> reply{};
    const auto start = Clock::now();
    EXPECT_EQ(at.SendCommand("AT+CGMM\r", reply.data()), carvex::kAtNoAnswer);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 3000ms);
    EXPECT_LE(elapsed, 5500ms);
    EXPECT_STREQ(reply.data(), "");
}

}  // namespace
