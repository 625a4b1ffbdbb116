#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "carvex/platform/device_list.h"
#include "carvex/platform/device_publisher.h"
#include "carvex/platform/registry.h"
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

}  // namespace
}  // namespace carvex
