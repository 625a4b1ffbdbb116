#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <array>

#include "cardsim/pty_pair.h"
#include "carvex/platform/device_publisher.h"
#include "carvex/platform/port_diagnosis.h"
#include "carvex/platform/unique_fd.h"
#include "tests/support/forked_child.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace carvex {
namespace {

using Cause = PortDiagnosis::Cause;

// A card's PC UI interface published as COM12 on a pseudo-terminal whose master this test
// holds: the card, which answers nothing.
class PortDiagnosisTest : public ::testing::Test {
  protected:
    PortDiagnosisTest() : publisher_{DeviceRoot(root_.Path())} {
        publisher_.PublishDevice(DeviceClass::kPorts, 0,
                                 "TAVRIO Linkwave - 3G PC UI Interface (COM12)");
    }

    PortDiagnosis Diagnosis() const { return ExplainUnopenableCard(publisher_.Root()); }

    testsupport::TempDir root_;
    DevicePublisher publisher_;
    cardsim::PtyPair pty_;
};

TEST_F(PortDiagnosisTest, EachCauseHasItsSentenceAndItsFewWords) {
    const std::string tty = pty_.SlavePath().string();
    auto diagnosis = ExplainUnopenableCard(DeviceRoot(root_.Path() / "empty"));
    EXPECT_EQ(diagnosis.cause, Cause::kNoCard);
    EXPECT_EQ(diagnosis.brief, "no card found");
    EXPECT_EQ(diagnosis.sentence,
              "no card found: no PC UI interface among the serial ports (device root " +
                  (root_.Path() / "empty").string() + ")");

    diagnosis = Diagnosis();
    EXPECT_EQ(diagnosis.cause, Cause::kNotPublished);
    EXPECT_EQ(diagnosis.brief, "COM12 is not published");

    publisher_.PublishComPort("COM12", root_.Path() / "ttyUSB2");
    diagnosis = Diagnosis();
    EXPECT_EQ(diagnosis.cause, Cause::kGone);
    EXPECT_EQ(diagnosis.brief, "COM12 is gone");
    EXPECT_EQ(diagnosis.sentence, "COM12 (" + (root_.Path() / "ttyUSB2").string() +
                                      ") is gone: the card was unplugged or is restarting");

    // The pty's master holder is the card itself, not a user of the port.
    publisher_.PublishComPort("COM12", pty_.SlavePath());
    diagnosis = Diagnosis();
    EXPECT_EQ(diagnosis.cause, Cause::kNoAnswer);
    EXPECT_EQ(diagnosis.brief, "the card on COM12 does not answer");
    EXPECT_EQ(diagnosis.sentence,
              "COM12 (" + tty + ") opens, but the card did not answer the switch to DIAG");
}

// A link planted to point at a FIFO or another device: the diagnosis never opens what the library
// would not open, and says what it is.
TEST_F(PortDiagnosisTest, ANodeThatIsNoSerialDeviceIsNamedAndNeverOpened) {
    const auto fifo = root_.Path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const UniqueFd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_TRUE(watch);
    ASSERT_GE(::inotify_add_watch(watch.Get(), fifo.c_str(), IN_OPEN), 0);
    for (const std::filesystem::path& target : {fifo, std::filesystem::path("/dev/null")}) {
        publisher_.PublishComPort("COM12", target);
        const auto diagnosis = Diagnosis();
        EXPECT_EQ(diagnosis.cause, Cause::kCannotOpen) << target;
        EXPECT_EQ(diagnosis.brief, "COM12 is not a serial device") << target;
    }
    std::array<char, 4096> events{};
    EXPECT_LT(::read(watch.Get(), events.data(), events.size()), 0) << "the FIFO was opened";
}

// The lock was taken by a program that has ended; the shell that inherited it still holds the
// port open, and is the one to name.
TEST_F(PortDiagnosisTest, InUseNamesTheLiveHolderNotTheLocksEndedTaker) {
    publisher_.PublishComPort("COM12", pty_.SlavePath());
    testsupport::RunningProgram shell("/bin/sh",
                                      {"-c", "exec 3<>" + pty_.SlavePath().string() +
                                                 "; /usr/bin/flock -x 3; echo locked; read line"});
    ASSERT_EQ(shell.Read(7), "locked\n");
    const auto diagnosis = Diagnosis();
    const std::string by = "in use by sh (pid " + std::to_string(shell.Pid()) + ")";
    EXPECT_EQ(diagnosis.cause, Cause::kInUse);
    EXPECT_EQ(diagnosis.brief, "COM12 is " + by);
    EXPECT_EQ(diagnosis.sentence, "COM12 (" + pty_.SlavePath().string() + ") is " + by);
}

// A process may call itself anything, a tty link may name anything: neither reaches the
// terminal or the status bar as control characters.
TEST_F(PortDiagnosisTest, NamesAreEscaped) {
    const std::string tty = pty_.SlavePath().string();
    testsupport::ForkedChild holder([&](testsupport::ForkedChild& self) {
        ::prctl(PR_SET_NAME, "evil\x1b[2J", 0, 0, 0);
        const UniqueFd fd(::open(tty.c_str(), O_RDWR | O_NOCTTY));
        self.Say(fd ? "held" : "");
        self.WaitForRelease();
        return 0;
    });
    ASSERT_EQ(holder.Hear(), "held");
    publisher_.PublishComPort("COM12", pty_.SlavePath());
    EXPECT_EQ(Diagnosis().brief,
              "COM12 is in use by evil\\x1b[2J (pid " + std::to_string(holder.Pid()) + ")");
    holder.Wait();

    publisher_.PublishComPort("COM12", root_.Path() / "tty\x1b]0;owned\x07");
    EXPECT_EQ(Diagnosis().sentence,
              "COM12 (" + root_.Path().string() +
                  "/tty\\x1b]0;owned\\x07) is gone: the card was unplugged or is restarting");
}

}  // namespace
}  // namespace carvex
