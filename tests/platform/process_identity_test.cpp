#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <sstream>

#include "carvex/platform/process_identity.h"
#include "tests/support/forked_child.h"

namespace carvex {
namespace {

std::string Said(const ProcessIdentity& process) {
    return process.boot + " " + std::to_string(process.pid) + " " + std::to_string(process.start);
}

ProcessIdentity Heard(const std::string& line) {
    std::istringstream fields(line);
    ProcessIdentity process;
    fields >> process.boot >> process.pid >> process.start;
    return process;
}

// A child that tells the test who it is, under a command name made to mislead a reader of
// /proc/<pid>/stat that splits at the first ')' or at blanks.
class NamedChild {
  public:
    NamedChild()
        : child_([](testsupport::ForkedChild& self) {
              ::prctl(PR_SET_NAME, "a) b (c", 0, 0, 0);
              self.Say(Said(CurrentProcessIdentity()));
              self.WaitForRelease();
              return 0;
          }),
          identity_(Heard(child_.Hear())) {}

    testsupport::ForkedChild& Child() { return child_; }
    const ProcessIdentity& Identity() const { return identity_; }

  private:
    testsupport::ForkedChild child_;
    ProcessIdentity identity_;
};

TEST(ProcessIdentity, ThisProcessRunsAndIsToldApartFromAnotherOfItsPid) {
    const ProcessIdentity self = CurrentProcessIdentity();
    EXPECT_EQ(self.pid, ::getpid());
    EXPECT_FALSE(self.boot.empty());
    EXPECT_GT(self.start, 0u);
    EXPECT_EQ(CurrentProcessIdentity(), self);
    EXPECT_FALSE(ProcessGone(self));

    // The same pid, started at another time: the system gave the pid again.
    ProcessIdentity reused = self;
    reused.start += 1;
    EXPECT_TRUE(ProcessGone(reused));
    // Of another boot: every process of that boot is gone.
    ProcessIdentity earlier_boot = self;
    earlier_boot.boot = "00000000-0000-4000-8000-000000000000";
    EXPECT_TRUE(ProcessGone(earlier_boot));
    ProcessIdentity nobody = self;
    nobody.pid = 0;
    EXPECT_TRUE(ProcessGone(nobody));
}

TEST(ProcessIdentity, AChildRunsUntilItEndsThoughNotYetReaped) {
    NamedChild named;
    const ProcessIdentity& child = named.Identity();
    ASSERT_EQ(child.pid, named.Child().Pid());
    EXPECT_EQ(child.boot, CurrentProcessIdentity().boot);
    // Started after the test, in ticks since the boot: a misread field would not be.
    EXPECT_GE(child.start, CurrentProcessIdentity().start);
    EXPECT_FALSE(ProcessGone(child));

    // Ended and waiting for its parent (a zombie): gone, though its pid still shows in /proc.
    named.Child().Release();
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOWAIT), 0);
    EXPECT_TRUE(ProcessGone(child));

    EXPECT_EQ(named.Child().Wait(), 0);
    EXPECT_TRUE(ProcessGone(child));
}

}  // namespace
}  // namespace carvex
