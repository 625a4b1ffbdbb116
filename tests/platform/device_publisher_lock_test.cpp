#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <fstream>
#include <vector>

#include "carvex/platform/device_publisher_lock.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace carvex {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(DevicePublisherLock, TheLockFileIsItsOwnersAloneWhateverTheUmaskOrItsOldMode) {
    testsupport::TempDir dir;
    const mode_t umask_before = ::umask(0);
    { const DevicePublisherLock lock{DeviceRoot(dir.Path() / "root")}; }
    ::umask(umask_before);
    EXPECT_EQ(ModeOf(dir.Path() / "root" / DevicePublisherLock::kLockFileName), 0600u);

    // A lock file left readable by everyone, as earlier versions made it.
    const fs::path old = dir.Path() / "state.lock";
    std::ofstream(old).close();
    ASSERT_EQ(::chmod(old.c_str(), 0644), 0);
    { const DevicePublisherLock lock(old); }
    EXPECT_EQ(ModeOf(old), 0600u);
}

// Whoever opened the lock file while it was open to them keeps that descriptor whatever mode the
// file gets later: the file is replaced, and their lock on the old one holds up no publisher.
TEST(DevicePublisherLock, ADescriptorOpenedBeforeTheFileWasReplacedHoldsNothing) {
    struct Case {
        const char* what;
        uid_t owner;
        mode_t mode;
    };
    const std::vector<Case> cases = {
        {"open to everyone", ::geteuid(), 0644},
        {"its owner's alone but another user's", 65534, 0600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.owner != ::geteuid() && ::geteuid() != 0) {
            continue;
        }
        testsupport::TempDir dir;
        const fs::path file = dir.Path() / "state.lock";
        std::ofstream(file).close();
        ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
        ASSERT_EQ(::chown(file.c_str(), c.owner, c.owner), 0);
        const UniqueFd theirs(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(theirs);

        { const DevicePublisherLock lock(file); }
        struct stat st {};
        ASSERT_EQ(::lstat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(st.st_uid, ::geteuid());
        ASSERT_EQ(::flock(theirs.Get(), LOCK_EX | LOCK_NB), 0) << "they lock what they opened";
        EXPECT_NO_THROW(DevicePublisherLock(file, milliseconds(300)));
    }
}

TEST(DevicePublisherLock, NeverChangesWhatALinkAtItsNameNames) {
    testsupport::TempDir dir;
    const fs::path victim = dir.Path() / "victim";
    std::ofstream(victim) << "precious";
    ASSERT_EQ(::chmod(victim.c_str(), 0644), 0);

    fs::create_symlink(victim, dir.Path() / "symbolic.lock");
    EXPECT_THROW(DevicePublisherLock(dir.Path() / "symbolic.lock"), std::system_error);
    fs::create_hard_link(victim, dir.Path() / "hard.lock");
    EXPECT_THROW(DevicePublisherLock(dir.Path() / "hard.lock"), std::system_error);
    EXPECT_EQ(ModeOf(victim), 0644u) << "the file a link names keeps its mode";
}

TEST(DevicePublisherLock, GivesUpOnAHolderThatDoesNotLetGoAndNamesIt) {
    testsupport::TempDir dir;
    const fs::path file = dir.Path() / "held.lock";
    std::ofstream(file).close();
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);  // a lock file as publishers make it: kept
    // flock(1) holds the lock until its standard input closes.
    testsupport::RunningProgram holder("/usr/bin/flock",
                                       {file.string(), "sh", "-c", "echo locked; read line"});
    ASSERT_EQ(holder.Read(7), "locked\n");

    const auto started = std::chrono::steady_clock::now();
    try {
        const DevicePublisherLock lock(file, milliseconds(300));
        ADD_FAILURE() << "took a lock that another process holds";
    } catch (const DevicePublisherLock::Timeout& timeout) {
        EXPECT_EQ(std::string(timeout.what()),
                  "flock (pid " + std::to_string(holder.Pid()) + ") has held the lock " +
                      file.string() +
                      " for more than 300 ms; gave up waiting, nothing was changed");
    }
    EXPECT_GE(std::chrono::steady_clock::now() - started, milliseconds(300));

    // Once the holder lets go, the lock is had.
    holder.Wait();
    EXPECT_NO_THROW(DevicePublisherLock(file, milliseconds(300)));
}

}  // namespace
}  // namespace carvex
