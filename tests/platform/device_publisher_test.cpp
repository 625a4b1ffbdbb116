#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "carvex/platform/device_list.h"
#include "carvex/platform/device_publisher.h"
#include "carvex/platform/registry.h"
#include "carvex/platform/unique_fd.h"
#include "carvex/platform/whole_file.h"
#include "tests/support/temp_dir.h"

namespace carvex {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const DeviceRoot& root, DeviceClass device_class) {
    const DeviceList list(root, device_class);
    std::vector<std::string> names;
    for (int i = 0; list.Enumerate(i) == DeviceList::Entry::kPresent; ++i) {
        names.push_back(list.FriendlyName(i).value_or("?"));
    }
    return names;
}

int HiddenEntries(const fs::path& directory) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(directory)) {
        count += entry.path().filename().string().starts_with(".") ? 1 : 0;
    }
    return count;
}

TEST(DevicePublisher, AListIsReplacedAsAWhole) {
    testsupport::TempDir dir;
    DevicePublisher publisher{DeviceRoot(dir.Path())};
    // Written entry by entry first, as the simulated card does.
    publisher.PublishDevice(DeviceClass::kPorts, 0, "A (COM3)");
    publisher.PublishDevice(DeviceClass::kPorts, 1, "B (COM4)");
    publisher.PublishDevice(DeviceClass::kPorts, 2, "C (COM5)");

    const std::vector<std::string> two = {"A (COM3)", "C (COM5)"};
    publisher.PublishDeviceList(DeviceClass::kPorts, two);
    EXPECT_EQ(Names(publisher.Root(), DeviceClass::kPorts), two);
    publisher.PublishDeviceList(DeviceClass::kPorts, std::vector<std::string>{"C (COM5)"});
    publisher.PublishDeviceList(DeviceClass::kPorts, {});
    EXPECT_TRUE(Names(publisher.Root(), DeviceClass::kPorts).empty());
    EXPECT_GE(HiddenEntries(dir.Path() / "devices"), 3) << "earlier lists stay a while";
    // Once they are old, a swap takes them away: the list in use and the one before remain.
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path() / "devices")) {
        std::filesystem::last_write_time(
            entry.path(), std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    }
    publisher.PublishDeviceList(DeviceClass::kPorts, two);
    EXPECT_EQ(Names(publisher.Root(), DeviceClass::kPorts), two);
    EXPECT_LE(HiddenEntries(dir.Path() / "devices"), 2) << "the list in use and the one before";

    const std::string key = std::string(kModemClassKey);
    publisher.SetRegistryValue(key + "\\0007", "FriendlyName", "Old modem");
    const std::vector<RegistrySubkey> subkeys = {
        {"0000", {{"FriendlyName", "Modem"}, {"AttachedTo", "COM4"}}},
        {"0001", {{"FriendlyName", "Modem #2"}, {"AttachedTo", "COM6"}}}};
    publisher.PublishRegistrySubkeys(key, subkeys);
    const auto class_key = RegistryKey::OpenLocalMachine(publisher.Root(), key);
    ASSERT_TRUE(class_key);
    EXPECT_EQ(class_key->SubkeyNames(), (std::vector<std::string>{"0000", "0001"}));
    const auto second = RegistryKey::OpenLocalMachine(publisher.Root(), key + "\\0001");
    EXPECT_EQ(second->ReadString("AttachedTo"), "COM6");
    const auto parent =
        RegistryKey::OpenLocalMachine(publisher.Root(), key.substr(0, key.rfind('\\')));
    EXPECT_EQ(parent->SubkeyNames().size(), 1u) << "the swap's folders are not subkeys";
}

TEST(DevicePublisher, AReaderNeverMeetsAGapWhileListsAreSwapped) {
    testsupport::TempDir dir;
    DevicePublisher publisher{DeviceRoot(dir.Path())};
    const std::vector<std::string> first = {"A (COM3)", "B (COM4)", "C (COM5)"};
    const std::vector<std::string> second = {"B (COM4)", "C (COM5)", "D (COM6)"};
    publisher.PublishDeviceList(DeviceClass::kPorts, first);

    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (int i = 0; i < 300; ++i) {
            publisher.PublishDeviceList(DeviceClass::kPorts, i % 2 == 0 ? second : first);
        }
        done = true;
    });
    const DeviceList list(publisher.Root(), DeviceClass::kPorts);
    int passes = 0;
    int short_passes = 0;
    while (!done || passes == 0) {
        int count = 0;
        while (list.Enumerate(count) == DeviceList::Entry::kPresent) {
            ++count;
        }
        short_passes += count != 3 ? 1 : 0;
        ++passes;
    }
    writer.join();
    EXPECT_EQ(short_passes, 0) << "of " << passes << " passes";
}

void MakeOld(const fs::path& directory) {
    for (const auto& entry : fs::directory_iterator(directory)) {
        fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
}

// Two publications in quick succession: the list that was live until the second one stays for
// readers that began on it, however long ago it was made.
TEST(DevicePublisher, AListAgesFromItsReplacementNotItsCreation) {
    testsupport::TempDir dir;
    DevicePublisher publisher{DeviceRoot(dir.Path())};
    publisher.PublishDeviceList(DeviceClass::kPorts, std::vector<std::string>{"A (COM3)"});
    MakeOld(dir.Path() / "devices");
    const DeviceList began_on_a(publisher.Root(), DeviceClass::kPorts);

    publisher.PublishDeviceList(DeviceClass::kPorts, std::vector<std::string>{"B (COM4)"});
    publisher.PublishDeviceList(DeviceClass::kPorts, std::vector<std::string>{"C (COM5)"});
    EXPECT_EQ(began_on_a.FriendlyName(0), "A (COM3)") << "replaced milliseconds ago";
    EXPECT_EQ(Names(publisher.Root(), DeviceClass::kPorts), std::vector<std::string>{"C (COM5)"});

    MakeOld(dir.Path() / "devices");
    publisher.PublishDeviceList(DeviceClass::kPorts, std::vector<std::string>{"D (COM6)"});
    EXPECT_EQ(began_on_a.FriendlyName(0), std::nullopt) << "replaced long ago: gone";
}

// A user who can write the root plants links where the publisher writes; root must replace
// them, never write through them.
TEST(DevicePublisher, ReplacesLinksPlantedAtItsNamesInsteadOfWritingThroughThem) {
    testsupport::TempDir dir;
    const fs::path victim = dir.Path() / "victim";
    std::ofstream(victim) << "precious";
    ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
    DevicePublisher publisher{DeviceRoot(dir.Path() / "root")};
    const fs::path name = dir.Path() / "root" / "devices" / "ports" / "0" / "FriendlyName";
    const fs::path record = dir.Path() / "root" / ".record";
    const fs::path com = dir.Path() / "root" / "com" / "COM3";
    for (const fs::path& path : {name, record, com, com.parent_path() / ".COM3.tmp",
                                 record.parent_path() / "..record.tmp"}) {
        fs::create_directories(path.parent_path());
        fs::create_symlink(victim, path);
    }

    const mode_t umask_before = ::umask(077);
    publisher.PublishDevice(DeviceClass::kPorts, 0, "A (COM3)");
    WriteFileAtomically(record, "record");
    publisher.PublishComPort("COM3", "/dev/ttyUSB0");
    ::umask(umask_before);

    const WholeFile kept = ReadWholeFile(victim);
    EXPECT_EQ(kept.content, "precious");
    struct stat st {};
    ASSERT_EQ(::stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    for (const fs::path& path : {name, record}) {
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << path;
        EXPECT_EQ(st.st_mode & 07777, 0644u) << path << ": for every reader, whatever the umask";
    }
    EXPECT_EQ(ReadWholeFile(record).content, "record");
    EXPECT_EQ(fs::read_symlink(com), "/dev/ttyUSB0");
}

// The permissions come before the content: a reader who may not read the file never sees any of
// it, not even while it is being written.
TEST(WholeFile, PutWholeFileSetsThePermissionsBeforeTheFirstByte) {
    testsupport::TempDir dir;
    const UniqueFd watch(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    ASSERT_TRUE(watch);
    ASSERT_GE(::inotify_add_watch(watch.Get(), dir.Path().c_str(), IN_ATTRIB | IN_MODIFY), 0);
    const Replacement put = PutWholeFile(dir.Path() / "secret", "content", fs::perms::owner_read);
    ASSERT_TRUE(put.stamp) << put.error;

    std::vector<uint32_t> events;
    alignas(inotify_event) char buffer[4096];
    const ssize_t length = ::read(watch.Get(), buffer, sizeof buffer);
    for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        events.push_back(event->mask & (IN_ATTRIB | IN_MODIFY));
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), static_cast<uint32_t>(IN_ATTRIB)) << "the mode first";
    EXPECT_EQ(ReadWholeFile(dir.Path() / "secret").content, "content");
    struct stat st {};
    ASSERT_EQ(::stat((dir.Path() / "secret").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0400u);
}

}  // namespace
}  // namespace carvex
