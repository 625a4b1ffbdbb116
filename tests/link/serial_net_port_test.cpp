#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <numeric>
#include <thread>

#include "cardsim/pty_pair.h"
#include "carvex/link/serial_net_port.h"
#include "carvex/platform/device_publisher.h"
#include "carvex/platform/device_users.h"
#include "carvex/platform/port_diagnosis.h"
#include "carvex/platform/serial_device.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace carvex {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

class SerialNetPortTest : public ::testing::Test {
  protected:
    SerialNetPortTest() : root_(dir_.Path()), publisher_(root_) {
        publisher_.PublishComPort("COM7", pty_.SlavePath());
    }

    std::unique_ptr<SerialNetPort> OpenPort(int number = 7) {
        auto port = std::make_unique<SerialNetPort>(root_);
        port->Configure(number, 115200);
        EXPECT_TRUE(port->Open()) << "error " << port->LastError();
        return port;
    }

    testsupport::TempDir dir_;
    DeviceRoot root_;
    DevicePublisher publisher_;
    cardsim::PtyPair pty_;
};

TEST_F(SerialNetPortTest, ConfigureFormatsTheDevicePath) {
    SerialNetPort port(root_);
    port.Configure(12, 9600);
    EXPECT_EQ(port.DevicePath(), "\\\\.\\COM12");
    EXPECT_EQ(port.BaudRate(), 9600u);
}

TEST_F(SerialNetPortTest, EveryByteValuePassesUnchangedBothWays) {
    auto port = OpenPort();
    Bytes all(256);
    std::iota(all.begin(), all.end(), 0);

    ASSERT_TRUE(port->Write(all));
    EXPECT_EQ(pty_.ReadExactly(all.size(), 2s), all);

    ASSERT_TRUE(pty_.Write(all));
    Bytes got(all.size());
    uint32_t received = 0;
    ASSERT_TRUE(port->Read(got, &received));
    EXPECT_EQ(received, all.size());
    EXPECT_EQ(got, all);
}

TEST_F(SerialNetPortTest, OneByteReadsAreServedInOrderAcrossTheBuffer) {
    auto port = OpenPort();
    Bytes sent(1000);
    for (size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<uint8_t>(i * 7);
    }
    ASSERT_TRUE(pty_.Write(sent));
    Bytes got;
    for (size_t i = 0; i < sent.size(); ++i) {
        uint8_t byte = 0;
        ASSERT_TRUE(port->Read(std::span(&byte, 1), nullptr));
        got.push_back(byte);
    }
    EXPECT_EQ(got, sent);
}

TEST_F(SerialNetPortTest, SecondOpenFailsWithThreeAndKeepsTheFirst) {
    auto port = OpenPort();
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->LastError(), kPortAlreadyOpen);
    ASSERT_TRUE(port->Write(Bytes{0x42}));
    EXPECT_EQ(pty_.ReadExactly(1, 2s), Bytes{0x42});
}

TEST_F(SerialNetPortTest, OpenFailures) {
    SerialNetPort missing(root_);
    missing.Configure(99, 115200);
    EXPECT_FALSE(missing.Open());
    EXPECT_EQ(missing.LastError(), kPortCannotOpen);

    auto first = OpenPort();
    SerialNetPort second(root_);
    second.Configure(7, 115200);
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(second.LastError(), kPortCannotOpen);
    EXPECT_EQ(second.LastSystemError(), EWOULDBLOCK) << "the lock is taken";
}

// A COM name that does not lead to a serial device is never opened: a FIFO would block, /dev/zero
// has no end, and what a planted link points at must not be touched.
TEST_F(SerialNetPortTest, OnlyASerialDeviceIsOpened) {
    const auto file = dir_.Path() / "not-a-terminal";
    std::ofstream(file) << "x";
    const auto fifo = dir_.Path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        const char* name;
        std::filesystem::path target;
    } cases[] = {{"a regular file", file},
                 {"a FIFO", fifo},
                 {"a folder", dir_.Path()},
                 {"a character device that is no terminal", "/dev/null"},
                 {"the controlling terminal", "/dev/tty"},
                 {"a pseudo-terminal's master side", "/dev/ptmx"}};
    for (const auto& c : cases) {
        publisher_.PublishComPort("COM8", c.target);
        SerialNetPort port(root_);
        port.Configure(8, 115200);
        EXPECT_FALSE(port.Open()) << c.name;
        EXPECT_EQ(port.LastError(), kPortCannotOpen) << c.name;
        EXPECT_EQ(port.LastSystemError(), ENOTTY) << c.name;
    }
}

TEST_F(SerialNetPortTest, AFailedSettingsStepLeavesThePortClosedAndUnlocked) {
    SerialDevice device;
    EXPECT_EQ(device.Open(pty_.SlavePath(), 12345), kPortSettingsRejected) << "no such line speed";
    EXPECT_FALSE(device.IsOpen());
    auto port = OpenPort();
    EXPECT_TRUE(port->Write(Bytes{0x42})) << "nothing was left holding the device";
}

TEST_F(SerialNetPortTest, InputFromBeforeTheOpenIsDiscarded) {
    ASSERT_TRUE(pty_.Write(Bytes{'O', 'K', '\r', '\n'}));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return pty_.Unread() == 4; }));
    auto port = OpenPort();
    ASSERT_TRUE(pty_.Write(Bytes{0x7E}));
    uint8_t byte = 0;
    uint32_t received = 0;
    ASSERT_TRUE(port->Read(std::span(&byte, 1), &received));
    EXPECT_EQ(byte, 0x7E) << "the card's answer from before the reopen is gone";
}

// A terminal program (here `sleep`, holding the tty on its standard input) has the port open
// without locking it: the port is in use all the same, and the diagnosis names the program.
TEST_F(SerialNetPortTest, APortAnotherProgramHoldsOpenIsInUse) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0 || ::dup2(fd, 0) < 0) {
            ::_exit(1);
        }
        ::execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
        ::_exit(1);
    }
    const auto held = [&] { return !FindDeviceUsers(pty_.SlavePath()).holders.empty(); };
    ASSERT_TRUE(testsupport::WaitUntil(held));
    SerialNetPort port(root_);
    port.Configure(7, 115200);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastError(), kPortCannotOpen);
    EXPECT_EQ(port.LastSystemError(), EBUSY);
    const PortDiagnosis why = ExplainUnopenablePort(root_, 7);
    EXPECT_EQ(why.cause, PortDiagnosis::Cause::kInUse);
    EXPECT_NE(why.brief.find("in use by sleep (pid " + std::to_string(child) + ")"),
              std::string::npos)
        << why.brief;

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(port.Open()) << "free again once the program has gone";
}

TEST_F(SerialNetPortTest, PortLockedByAnotherProcessCannotBeOpened) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SerialNetPort holder(root_);
        holder.Configure(7, 115200);
        const char result = holder.Open() ? 'y' : 'n';
        (void)!::write(ready[1], &result, 1);
        ::pause();
        ::_exit(0);
    }
    char result = 0;
    ASSERT_EQ(::read(ready[0], &result, 1), 1);
    ASSERT_EQ(result, 'y');
    SerialNetPort port(root_);
    port.Configure(7, 115200);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.LastError(), kPortCannotOpen);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(port.Open()) << "the lock goes with its holder";
}

TEST_F(SerialNetPortTest, OneByteReadBlocksUntilAByteIsQueued) {
    auto port = OpenPort();
    auto reader = std::async(std::launch::async, [&] {
        uint8_t byte = 0;
        uint32_t received = 99;
        const bool ok = port->Read(std::span(&byte, 1), &received);
        return std::tuple(ok, received, byte);
    });
    EXPECT_EQ(reader.wait_for(100ms), std::future_status::timeout);
    ASSERT_TRUE(pty_.Write(Bytes{0x5A}));
    EXPECT_EQ(reader.get(), std::tuple(true, 1u, uint8_t{0x5A}));
}

TEST_F(SerialNetPortTest, CancelReleasesABlockedReadWithNothingReceived) {
    auto port = OpenPort();
    auto reader = std::async(std::launch::async, [&] {
        Bytes buffer(4);
        uint32_t received = 99;
        const bool ok = port->Read(buffer, &received);
        return std::pair(ok, received);
    });
    EXPECT_EQ(reader.wait_for(50ms), std::future_status::timeout);
    port->Cancel();
    EXPECT_EQ(reader.get(), std::pair(true, 0u));
}

TEST_F(SerialNetPortTest, HangUpIsAFailureNotACancel) {
    auto port = OpenPort();
    auto reader = std::async(std::launch::async, [&] {
        uint8_t byte = 0;
        uint32_t received = 99;
        return port->Read(std::span(&byte, 1), &received);
    });
    EXPECT_EQ(reader.wait_for(50ms), std::future_status::timeout);
    pty_.HangUp();
    EXPECT_FALSE(reader.get());
    EXPECT_FALSE(port->WaitForCancel(10ms));
}

TEST_F(SerialNetPortTest, CloseResetsLastErrorAndBaudRate) {
    auto port = std::make_unique<SerialNetPort>(root_);
    port->Configure(7, 9600);
    ASSERT_TRUE(port->Open());
    EXPECT_FALSE(port->Open());
    EXPECT_EQ(port->LastError(), kPortAlreadyOpen);
    port->Close();
    EXPECT_EQ(port->LastError(), kPortNoError);
    EXPECT_EQ(port->BaudRate(), 115200u);
    EXPECT_TRUE(port->Open()) << "a closed port opens again";
}

TEST_F(SerialNetPortTest, WaitForCancelEndsEarlyOnCancel) {
    auto port = OpenPort();
    EXPECT_FALSE(port->WaitForCancel(20ms));
    auto waiter = std::async(std::launch::async, [&] { return port->WaitForCancel(60s); });
    EXPECT_EQ(waiter.wait_for(50ms), std::future_status::timeout);
    port->Cancel();
    EXPECT_TRUE(waiter.get());
}

// Draining and waiting are separate steps: a drain never blocks, whatever is (or is no longer)
// queued, so a flush by Cancel can never leave a reader stuck in read().
TEST_F(SerialNetPortTest, DrainNeverBlocksAndCancelWakesTheWait) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), 115200), kPortNoError);
    Bytes buffer(16);
    std::promise<std::optional<size_t>> drained;
    std::thread drain([&] { drained.set_value(device.Drain(buffer)); });
    auto empty = drained.get_future();
    if (empty.wait_for(2s) != std::future_status::ready) {
        std::fprintf(stderr, "a drain of an empty queue blocked\n");
        std::_Exit(1);  // the blocked thread cannot be joined
    }
    drain.join();
    EXPECT_EQ(empty.get(), std::optional<size_t>(0));

    ASSERT_TRUE(pty_.Write(Bytes{1, 2, 3}));
    ASSERT_EQ(device.WaitReadable(), SerialDevice::Wait::kReadable);
    device.Cancel();  // flushes the three bytes
    EXPECT_EQ(device.Drain(buffer), std::optional<size_t>(0));
    EXPECT_EQ(device.WaitReadable(), SerialDevice::Wait::kCancelled);

    pty_.HangUp();
    EXPECT_EQ(device.Drain(buffer), std::nullopt) << "a hang-up is a failure";
}

}  // namespace
}  // namespace carvex
