#include "carvex/platform/publishing_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <vector>

#include "carvex/platform/device_publisher.h"
#include "tests/support/temp_dir.h"

namespace carvex {
namespace {

namespace fs = std::filesystem;

// The owner of files that are not ours, where the tests may hand files to another user.
constexpr uid_t kSomeoneElse = 65534;

// Only the refusal's first words: what follows "it" says why, for people.
std::string Refusal(const fs::path& folder) {
    return folder.string() + " is not safe to publish in: it ";
}

std::string WhatIsRefused(const std::function<void()>& prepare) {
    try {
        prepare();
    } catch (const UnsafeFolder& refused) {
        return refused.what();
    }
    return "(accepted)";
}

TEST(PublishingFolder, ARootIsAcceptedOnlyWhenNobodyElseCanChangeItOrWhatIsAboveIt) {
    struct Case {
        const char* what;
        bool needs_root;                                    // hands files to someone else
        std::function<fs::path(const fs::path& dir)> make;  // returns the root
        std::string refused;                                // relative to dir; empty when accepted
    };
    const std::vector<Case> cases = {
        {"a new root in a private folder", false,
         [](const fs::path& d) { return d / "a" / "root"; }, ""},
        {"a sticky folder above, as /tmp", false,
         [](const fs::path& d) {
             fs::permissions(d, fs::perms::all | fs::perms::sticky_bit);
             return d / "root";
         },
         ""},
        {"a link of ours above, as /var/run", false,
         [](const fs::path& d) {
             fs::create_directory(d / "run");
             fs::create_directory_symlink("run", d / "var-run");
             return d / "var-run" / "root";
         },
         ""},
        {"a root that group members may write", false,
         [](const fs::path& d) {
             fs::create_directory(d / "root");
             ::chmod((d / "root").c_str(), 0775);
             return d / "root";
         },
         "root"},
        {"a folder above that others may write", false,
         [](const fs::path& d) {
             fs::create_directory(d / "open");
             ::chmod((d / "open").c_str(), 0777);
             return d / "open" / "root";
         },
         "open"},
        {"a link above that leads through a folder others may write", false,
         [](const fs::path& d) {
             fs::create_directory(d / "open");
             ::chmod((d / "open").c_str(), 0777);
             fs::create_directory_symlink("open", d / "alias");
             return d / "alias" / "root";
         },
         "open"},
        {"a root that is a link", false,
         [](const fs::path& d) {
             fs::create_directory(d / "elsewhere");
             fs::create_directory_symlink("elsewhere", d / "root");
             return d / "root";
         },
         "root"},
        {"a root of someone else's", true,
         [](const fs::path& d) {
             fs::create_directory(d / "root");
             ::chown((d / "root").c_str(), kSomeoneElse, kSomeoneElse);
             return d / "root";
         },
         "root"},
        {"a folder above of someone else's", true,
         [](const fs::path& d) {
             fs::create_directory(d / "home");
             ::chown((d / "home").c_str(), kSomeoneElse, kSomeoneElse);
             return d / "home" / "root";
         },
         "home"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needs_root && ::geteuid() != 0) {
            continue;
        }
        testsupport::TempDir dir;
        const fs::path root = c.make(dir.Path());
        const std::string refused = WhatIsRefused([&] { PreparePublishingRoot(root); });
        if (c.refused.empty()) {
            EXPECT_EQ(refused, "(accepted)");
            EXPECT_TRUE(WhyNotOwnFolder(fs::canonical(root)).empty());
        } else {
            EXPECT_TRUE(refused.starts_with(Refusal(dir.Path() / c.refused))) << refused;
        }
    }
}

TEST(PublishingFolder, FoldersBelowTheRootAreOursAndStayInsideIt) {
    testsupport::TempDir dir;
    const fs::path root = dir.Path() / "root";
    EXPECT_EQ(PreparePublishingFolder(root, "devices/ports"), root / "devices" / "ports");

    // A folder swapped in whole is a link to a hidden sibling: written into, not refused.
    fs::create_directory(root / "devices" / ".modem.abc");
    fs::create_directory_symlink(".modem.abc", root / "devices" / "modem");
    EXPECT_EQ(PreparePublishingFolder(root, "devices/modem/0"),
              root / "devices" / ".modem.abc" / "0");

    fs::create_directory(dir.Path() / "elsewhere");
    fs::create_directory_symlink("../../elsewhere", root / "devices" / "other");
    EXPECT_TRUE(WhatIsRefused([&] {
                    PreparePublishingFolder(root, "devices/other/0");
                }).starts_with(Refusal(root / "devices" / "other")));
    EXPECT_NE(WhatIsRefused([&] { PreparePublishingFolder(root, "devices/../../escape"); }),
              "(accepted)");
    EXPECT_FALSE(fs::exists(dir.Path() / "escape"));
    EXPECT_TRUE(fs::is_empty(dir.Path() / "elsewhere"));
}

// Folders left by someone else where the publisher keeps its lists, from a time when the root
// was open to them: the publisher neither deletes them nor moves them aside.
TEST(PublishingFolder, APublisherLeavesFoldersOfSomeoneElseAlone) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to hand a folder to another user";
    }
    testsupport::TempDir dir;
    DevicePublisher publisher{DeviceRoot(dir.Path())};
    const fs::path theirs = dir.Path() / "devices" / ".ports.theirs";
    fs::create_directories(theirs / "kept");
    std::ofstream(theirs / "kept" / "notes.txt") << "theirs";
    for (const fs::path& path : {theirs, theirs / "kept"}) {
        ::chown(path.c_str(), kSomeoneElse, kSomeoneElse);
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    publisher.PublishDeviceList(DeviceClass::kPorts, std::vector<std::string>{"A (COM3)"});
    EXPECT_TRUE(fs::exists(theirs / "kept" / "notes.txt")) << "an aged generation, not ours";

    const fs::path old_list = dir.Path() / "devices" / "modem";
    fs::create_directories(old_list / "0");
    ::chown(old_list.c_str(), kSomeoneElse, kSomeoneElse);
    EXPECT_TRUE(WhatIsRefused([&] {
                    publisher.PublishDeviceList(DeviceClass::kModem, std::vector<std::string>{"M"});
                }).starts_with(Refusal(old_list)));
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(old_list / "0")));
}

}  // namespace
}  // namespace carvex
