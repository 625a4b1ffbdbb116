#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>

#include <chrono>
#include <future>

#include "cardsim/pty_pair.h"
#include "carvex/platform/device_users.h"
#include "carvex/platform/unique_fd.h"
#include "tests/support/forked_child.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

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

TEST(DeviceUsers, AProcessWithTwoLocksOfOneNodeIsNamedOnce) {
    const testsupport::TempDir dir;
    const std::filesystem::path file = dir.Path() / ".lock";
    const UniqueFd created(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(created);
    testsupport::ForkedChild child([&file](testsupport::ForkedChild& self) {
        const UniqueFd first(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
        const UniqueFd second(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
        const bool locked =
            ::flock(first.Get(), LOCK_SH) == 0 && ::flock(second.Get(), LOCK_SH) == 0;
        self.Say(locked ? "locked" : "");
        self.WaitForRelease();
        return 0;
    });
    ASSERT_EQ(child.Hear(), "locked");
    EXPECT_EQ(Pids(FindDeviceUsers(file).lockers), std::vector<int>{child.Pid()});
}

// Another process holds a descriptor into a file system that never answers (a FUSE daemon that
// hangs; a hard NFS mount whose server is gone): looking for a port's users must not wait on it.
TEST(DeviceUsers, AFileSystemThatDoesNotAnswerElsewhereHoldsNothingUp) {
    UniqueFd fuse(::open("/dev/fuse", O_RDWR | O_CLOEXEC));
    testsupport::TempDir mount_dir;
    const std::string options =
        "fd=" + std::to_string(fuse.Get()) + ",rootmode=40000,user_id=0,group_id=0";
    if (!fuse ||
        ::mount("cardwright-test", mount_dir.Path().c_str(), "fuse", 0, options.c_str()) != 0) {
        GTEST_SKIP() << "no FUSE file system can be mounted here";
    }
    {
        // An O_PATH descriptor of the mount: holding it asks the (absent) daemon nothing.
        const std::string where = mount_dir.Path().string();
        testsupport::ForkedChild holder([&](testsupport::ForkedChild& self) {
            const int fd = ::open(where.c_str(), O_PATH | O_DIRECTORY);
            self.Say(fd >= 0 ? "held" : "no");
            self.WaitForRelease();
            return 0;
        });
        ASSERT_EQ(holder.Hear(), "held");
        const cardsim::PtyPair pty;
        auto look =
            std::async(std::launch::async, [&] { return FindDeviceUsers(pty.SlavePath()); });
        const bool answered = look.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        // Whatever waits on the mount is released (its connection ends) before anything else.
        fuse.Reset();
        EXPECT_TRUE(answered) << "the look waited on the unanswering file system";
        look.wait();
        holder.Wait();
    }
    ::umount2(mount_dir.Path().c_str(), MNT_DETACH);
}

TEST(DeviceUsers, NamesAreJoinedAsASentenceSays) {
    EXPECT_EQ(DescribeProcesses({{612, "ModemManager"}}), "ModemManager (pid 612)");
    EXPECT_EQ(DescribeProcesses({{700, "minicom"}, {701, "screen"}, {702, "cat"}}),
              "minicom (pid 700), screen (pid 701) and cat (pid 702)");
    EXPECT_TRUE(FindDeviceUsers("/nonexistent/tty").holders.empty());
}

}  // namespace
}  // namespace carvex
