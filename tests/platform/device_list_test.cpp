#include <gtest/gtest.h>

#include "carvex/platform/device_list.h"
#include "carvex/platform/device_publisher.h"
#include "carvex/platform/environment.h"
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
