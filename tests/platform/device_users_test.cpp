#include <fcntl.h>
#include <gtest/gtest.h>

#include "cardsim/pty_pair.h"
#include "carvex/platform/device_users.h"
#include "carvex/platform/unique_fd.h"
#include "tests/support/forked_child.h"
#include "tests/support/run_program.h"

namespace carvex {
namespace {

// Another process that plays a card on a pty of its own, as cardsim does (master and terminal
// side both open), and also has the terminal side of `foreign` open, whose master it does not
// hold.
class CardProcess {
  public:
    explicit CardProcess(const std::filesystem::path& foreign)
        : child_([foreign](testsupport::ForkedChild& self) {
              const cardsim::PtyPair own;
              const UniqueFd other(::open(foreign.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
              self.Say(other ? own.SlavePath().string() : "");
              self.WaitForRelease();
              return 0;
          }),
          own_slave_(child_.Hear()) {}

    pid_t Pid() const { return child_.Pid(); }
    const std::filesystem::path& OwnSlave() const { return own_slave_; }

  private:
    testsupport::ForkedChild child_;
    std::filesystem::path own_slave_;
};

std::vector<int> Pids(const std::vector<ProcessInfo>& processes) {
    std::vector<int> pids;
    for (const ProcessInfo& process : processes) {
        pids.push_back(process.pid);
    }
    return pids;
}

TEST(DeviceUsers, ThePtysOwnMasterHolderAndThisProcessAreNoOtherUsers) {
    // This process holds the master and the terminal side of `ours`, as a test's card does.
    const cardsim::PtyPair ours;
    const CardProcess card(ours.SlavePath());
    ASSERT_FALSE(card.OwnSlave().empty());

    // The card process holds its own pty's master: it is the card, not another user.
    EXPECT_TRUE(FindDeviceUsers(card.OwnSlave()).holders.empty());
    // But it holds the terminal side of a pty whose master it does not hold.
    EXPECT_EQ(Pids(FindDeviceUsers(ours.SlavePath()).holders), std::vector<int>{card.Pid()});

    // A program with the card's terminal open is another user, named as the system names it.
    testsupport::RunningProgram shell(
        "/bin/sh", {"-c", "exec 3<>" + card.OwnSlave().string() + "; echo held; read line"});
    ASSERT_EQ(shell.Read(5), "held\n");
    const DeviceUsers users = FindDeviceUsers(card.OwnSlave());
    EXPECT_EQ(users.holders, (std::vector<ProcessInfo>{{shell.Pid(), "sh"}}));
    EXPECT_TRUE(users.lockers.empty());
}

TEST(DeviceUsers, ALockWhoseTakerEndedNamesNoOneButTheHolderIsNamed) {
    const cardsim::PtyPair pty;
    // flock(1) takes the lock on the shell's descriptor and ends; the shell keeps the lock.
    testsupport::RunningProgram shell("/bin/sh",
                                      {"-c", "exec 3<>" + pty.SlavePath().string() +
                                                 "; /usr/bin/flock -x 3; echo locked; read line"});
    ASSERT_EQ(shell.Read(7), "locked\n");
    const DeviceUsers users = FindDeviceUsers(pty.SlavePath());
    EXPECT_TRUE(users.lockers.empty()) << DescribeProcesses(users.lockers);
    EXPECT_EQ(Pids(users.holders), std::vector<int>{shell.Pid()});

    // A lock taken by a live process names it.
    testsupport::RunningProgram locker(
        "/usr/bin/flock", {pty.SlavePath().string(), "sh", "-c", "echo locked; read line"});
    shell.Wait();
    ASSERT_EQ(locker.Read(7), "locked\n");
    EXPECT_EQ(Pids(FindDeviceUsers(pty.SlavePath()).lockers), std::vector<int>{locker.Pid()});
}

TEST(DeviceUsers, NamesAreJoinedAsASentenceSays) {
    EXPECT_EQ(DescribeProcesses({{612, "ModemManager"}}), "ModemManager (pid 612)");
    EXPECT_EQ(DescribeProcesses({{700, "minicom"}, {701, "screen"}, {702, "cat"}}),
              "minicom (pid 700), screen (pid 701) and cat (pid 702)");
    EXPECT_TRUE(FindDeviceUsers("/nonexistent/tty").holders.empty());
}

}  // namespace
}  // namespace carvex
