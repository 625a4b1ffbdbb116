#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "carvex/platform/device_list.h"
#include "carvex/platform/device_publisher.h"
#include "carvex/platform/environment.h"
#include "carvex/platform/registry.h"
#include "tests/support/forked_child.h"
#include "tests/support/temp_dir.h"

namespace carvex {
namespace {

TEST(DeviceList, EnumeratesByIndexSkipsUnnamedAndStopsAtTheFirstGap) {
    testsupport::TempDir dir;
    DevicePublisher publisher{DeviceRoot(dir.Path())};
    publisher.PublishDevice(DeviceClass::kPorts, 0, "First (COM3)");
    publisher.PublishDevice(DeviceClass::kPorts, 1, std::nullopt);
    publisher.PublishDevice(DeviceClass::kPorts, 2, "Third (COM5)");
    publisher.PublishDevice(DeviceClass::kPorts, 4, "Behind the gap (COM9)");
    publisher.PublishDevice(DeviceClass::kModem, 0, "A modem");

    const DeviceList ports(publisher.Root(), DeviceClass::kPorts);
    EXPECT_EQ(ports.Enumerate(0), DeviceList::Entry::kPresent);
    EXPECT_EQ(ports.FriendlyName(0), "First (COM3)");
    EXPECT_EQ(ports.Enumerate(1), DeviceList::Entry::kPresent);
    EXPECT_EQ(ports.FriendlyName(1), std::nullopt);
    EXPECT_EQ(ports.FriendlyName(2), "Third (COM5)");
    EXPECT_EQ(ports.Enumerate(3), DeviceList::Entry::kNoMoreItems);

    const DeviceList modems(publisher.Root(), DeviceClass::kModem);
    EXPECT_EQ(modems.FriendlyName(0), "A modem");
    EXPECT_EQ(modems.Enumerate(1), DeviceList::Entry::kNoMoreItems);
}

// Whatever lies in a device root where a name or a value should be, its reader neither hangs
// (a pipe with no writer) nor runs out of memory (a link to /dev/zero), and reads no name.
TEST(DeviceRootReads, PipesDevicesAndHugeFilesAreNoNames) {
    testsupport::TempDir dir;
    DevicePublisher publisher{DeviceRoot(dir.Path())};
    const std::string key = std::string(kModemClassKey) + "\\0000";
    const auto name_file = [&](int index) {
        publisher.PublishDevice(DeviceClass::kPorts, index, std::nullopt);
        return dir.Path() / "devices" / "ports" / std::to_string(index) / "FriendlyName";
    };
    publisher.CreateRegistryKey(key);
    const auto key_folder = dir.Path() / "registry" / "HKLM" / "System" / "CurrentControlSet" /
                            "Control" / "Class" / "{4D36E96D-E325-11CE-BFC1-08002BE10318}" / "0000";

    const std::vector<std::pair<const char*, std::function<void(const std::filesystem::path&)>>>
        plants = {
            {"a pipe", [](const auto& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); }},
            {"a link to /dev/zero",
             [](const auto& path) { std::filesystem::create_symlink("/dev/zero", path); }},
            {"a file past the limit",
             [](const auto& path) {
                 std::ofstream(path) << std::string(kMaxDeviceRootValueBytes + 1, 'x');
             }},
            {"a folder", [](const auto& path) { std::filesystem::create_directory(path); }},
        };
    for (size_t i = 0; i < plants.size(); ++i) {
        const auto& [what, plant] = plants[i];
        plant(name_file(static_cast<int>(i)));
        plant(key_folder / ("Value" + std::to_string(i)));
        testsupport::ForkedChild reader(
            [&](testsupport::ForkedChild&) {
                const DeviceList list(publisher.Root(), DeviceClass::kPorts);
                const auto opened = RegistryKey::OpenLocalMachine(publisher.Root(), key);
                const bool name = list.FriendlyName(static_cast<int>(i)).has_value();
                const bool value = opened->ReadString("Value" + std::to_string(i)).has_value();
                return name || value ? 1 : 0;
            },
            std::chrono::seconds(10));
        EXPECT_EQ(reader.Wait(), 0) << what << ": read as a name, or the reader hung or failed";
    }
    publisher.PublishDevice(DeviceClass::kPorts, 9, std::string(kMaxDeviceRootValueBytes, 'y'));
    EXPECT_EQ(DeviceList(publisher.Root(), DeviceClass::kPorts).FriendlyName(9)->size(),
              kMaxDeviceRootValueBytes)
        << "a name as long as the limit is read";
}

TEST(DeviceList, MissingRootHasNoDevices) {
    const DeviceList ports(DeviceRoot("/nonexistent/carvex"), DeviceClass::kPorts);
    EXPECT_EQ(ports.Enumerate(0), DeviceList::Entry::kNoMoreItems);
}

TEST(DeviceRoot, ResolvesComNamesAndComesFromTheEnvironment) {
    const DeviceRoot root("/r");
    EXPECT_EQ(root.ResolveDevicePath("\\\\.\\COM12"), std::filesystem::path("/r/com/COM12"));
    EXPECT_EQ(root.ResolveDevicePath("COM3"), std::filesystem::path("/r/com/COM3"));
    EXPECT_EQ(root.ResolveDevicePath("\\\\.\\LPT1"), std::nullopt);
    EXPECT_EQ(root.ResolveDevicePath("\\\\.\\COM"), std::nullopt);
    EXPECT_EQ(root.ResolveDevicePath("COM1/../x"), std::nullopt);

    const auto saved = EnvironmentValue(DeviceRoot::kEnvironmentVariable);
    RemoveEnvironmentValue(DeviceRoot::kEnvironmentVariable);
    EXPECT_EQ(DeviceRoot::FromEnvironment().Path(), "/run/carvex");
    SetEnvironmentValue(DeviceRoot::kEnvironmentVariable, "/tmp/elsewhere");
    EXPECT_EQ(DeviceRoot::FromEnvironment().Path(), "/tmp/elsewhere");
    if (saved) {
        SetEnvironmentValue(DeviceRoot::kEnvironmentVariable, *saved);
    } else {
        RemoveEnvironmentValue(DeviceRoot::kEnvironmentVariable);
    }
}

}  // namespace
}  // namespace carvex
