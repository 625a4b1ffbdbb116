#include <gtest/gtest.h>

#include "carvex/link/at_port.h"
#include "carvex/link/port_discovery.h"
#include "carvex/platform/device_publisher.h"
#include "tests/support/temp_dir.h"

namespace carvex {
namespace {

class PortDiscoveryTest : public ::testing::Test {
  protected:
    PortDiscoveryTest() : publisher_(DeviceRoot(dir_.Path())) {}

    void Ports(std::initializer_list<std::optional<std::string_view>> names) {
        int index = 0;
        for (const auto& name : names) {
            publisher_.PublishDevice(DeviceClass::kPorts, index++, name);
        }
    }
    void Modem(std::string_view name) { publisher_.PublishDevice(DeviceClass::kModem, 0, name); }
    void ModemKey(const char* subkey, std::optional<std::string_view> friendly,
                  std::optional<std::string_view> attached) {
        const std::string key = std::string(kModemClassKey) + "\\" + subkey;
        publisher_.CreateRegistryKey(key);
        if (friendly) {
            publisher_.SetRegistryValue(key, "FriendlyName", *friendly);
        }
        if (attached) {
            publisher_.SetRegistryValue(key, "AttachedTo", *attached);
        }
    }
    std::optional<int> Diag() { return FindDiagPort(publisher_.Root()); }
    std::optional<int> ModemPort() { return FindModemPort(publisher_.Root()); }

    testsupport::TempDir dir_;
    DevicePublisher publisher_;
};

TEST_F(PortDiscoveryTest, PcUiInterfaceNames) {
    struct Case {
        const char* name;
        std::optional<int> port;
    } cases[] = {
        {"TAVRIO Linkwave - 3G PC UI Interface (COM12)", 12},
        {"TAVRIO Linkwave - PC UI Interface (COM4)", 4},
        {"Orvane Mobile Broadband Secondary Port Modem (COM9)", std::nullopt},
        {"Orvane Mobile Broadband Secondary Port Modem - Tavrio (COM9)", 9},
        {"tavrio linkwave - 3g pc ui interface (COM5)", std::nullopt},
        {"TAVRIO Linkwave - 3G PC UI Interface", std::nullopt},
        {"TAVRIO Linkwave - 3G PC UI Interface (COM7", 0},
        {"TAVRIO Linkwave - 3G Application Interface (COM3)", std::nullopt},
        {"TAVRIO Linkwave - 3G PC UI Interface (COM2147483647)", 2147483647},
        {"TAVRIO Linkwave - 3G PC UI Interface (COM2147483648)", 0},
        {"TAVRIO Linkwave - 3G PC UI Interface (COM99999999999999999999)", 0},
    };
    for (const auto& c : cases) {
        Ports({c.name});
        EXPECT_EQ(Diag(), c.port) << c.name;
    }
}

TEST_F(PortDiscoveryTest, LowerIndexWinsAndUnreadableNamesAreSkipped) {
    Ports({"Some Other Port (COM1)", std::nullopt, "TAVRIO Linkwave - 3G PC UI Interface (COM12)",
           "TAVRIO Linkwave - 3G PC UI Interface (COM20)"});
    EXPECT_EQ(Diag(), 12);
    AtPort at(publisher_.Root());
    int port = -1;
    int spare = -1;
    EXPECT_TRUE(at.FindDiagPortNumber(&port, &spare));
    EXPECT_EQ(port, 12);
    EXPECT_EQ(spare, 0);
}

TEST_F(PortDiscoveryTest, AGapEndsTheEnumeration) {
    publisher_.PublishDevice(DeviceClass::kPorts, 0, "Some Other Port (COM1)");
    publisher_.PublishDevice(DeviceClass::kPorts, 2,
                             "TAVRIO Linkwave - 3G PC UI Interface (COM12)");
    EXPECT_EQ(Diag(), std::nullopt);
    AtPort at(publisher_.Root());
    int port = -1;
    int spare = -1;
    EXPECT_FALSE(at.FindDiagPortNumber(&port, &spare));
    EXPECT_EQ(port, 0);
}

TEST_F(PortDiscoveryTest, ModemFoundThroughItsRegistryKey) {
    Modem("TAVRIO Linkwave - 3G Modem");
    ModemKey("0000", "Another Modem", "COM3");
    ModemKey("0001", "TAVRIO Linkwave - 3G Modem", "COM13");
    EXPECT_EQ(ModemPort(), 13);
}

TEST_F(PortDiscoveryTest, ModemRegistryCases) {
    struct Case {
        const char* description;
        const char* device;
        std::optional<std::string_view> friendly;
        std::optional<std::string_view> attached;
        std::optional<int> port;
    } cases[] = {
        {"second form", "TAVRIO Linkwave - Modem", "TAVRIO Linkwave - Modem", "COM7", 7},
        {"first pair", "TAVRIO Linkwave HSPA Modem", "TAVRIO Linkwave HSPA Modem", "COM8", 8},
        {"second pair", "Orvane Mobile Broadband Modem Tavrio",
         "Orvane Mobile Broadband Modem Tavrio", "COM6", 6},
        {"other friendly name", "TAVRIO Linkwave - 3G Modem", "TAVRIO Linkwave - Modem", "COM7",
         std::nullopt},
        {"no AttachedTo", "TAVRIO Linkwave - 3G Modem", "TAVRIO Linkwave - 3G Modem", std::nullopt,
         std::nullopt},
        {"short AttachedTo", "TAVRIO Linkwave - 3G Modem", "TAVRIO Linkwave - 3G Modem", "CO",
         std::nullopt},
        {"AttachedTo without a number", "TAVRIO Linkwave - 3G Modem", "TAVRIO Linkwave - 3G Modem",
         "COMx", std::nullopt},
        {"not the card", "Generic Modem", "Generic Modem", "COM7", std::nullopt},
        {"AttachedTo beyond any int", "TAVRIO Linkwave - 3G Modem", "TAVRIO Linkwave - 3G Modem",
         "COM99999999999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        publisher_.RemoveRegistryKey(kModemClassKey);
        Modem(c.device);
        ModemKey("0000", c.friendly, c.attached);
        EXPECT_EQ(ModemPort(), c.port) << c.description;
    }
}

TEST_F(PortDiscoveryTest, AModemSubkeyThatCannotBeOpenedEndsTheSearch) {
    Modem("TAVRIO Linkwave - 3G Modem");
    ModemKey("0000", "Another Modem", "COM3");
    ModemKey("0001", "TAVRIO Linkwave - 3G Modem", "COM13");
    publisher_.DenyRegistryKey(std::string(kModemClassKey) + "\\0000");
    EXPECT_EQ(ModemPort(), std::nullopt);
    publisher_.RemoveRegistryKey(kModemClassKey);
    EXPECT_EQ(ModemPort(), std::nullopt) << "no class key";
}

// Every card's PC UI interface, and each card's own modem by the " #N" the driver gives a second
// and further card.
TEST_F(PortDiscoveryTest, EachCardsPcUiInterfaceAndItsOwnModem) {
    Ports({"TAVRIO Linkwave - 3G Application Interface (COM14)",
           "TAVRIO Linkwave - 3G PC UI Interface (COM12)",
           "TAVRIO Linkwave - 3G PC UI Interface #2 (COM22)", std::nullopt,
           "TAVRIO Linkwave - 3G PC UI Interface #3 (COM32)"});
    const auto entries = ListDiagPorts(publisher_.Root());
    ASSERT_EQ(entries.size(), 3u) << "an entry whose name cannot be read is skipped";
    EXPECT_EQ(entries[0].com, 12);
    EXPECT_EQ(entries[0].card_mark, "");
    EXPECT_EQ(entries[1].com, 22);
    EXPECT_EQ(entries[1].card_mark, " #2");
    EXPECT_EQ(entries[2].card_mark, " #3");
    EXPECT_EQ(ModemMarkFor(entries, 2), " #3");

    for (const auto& [name, mark] : {std::pair{"TAVRIO Linkwave - 3G Modem #12", " #12"},
                                     {"TAVRIO Linkwave - 3G Modem", ""},
                                     {"TAVRIO Linkwave - 3G Modem #", ""},
                                     {"TAVRIO Linkwave - 3G Modem #2a", ""},
                                     {"TAVRIO Linkwave - 3G PC UI Interface #4 (COM4)", " #4"}}) {
        EXPECT_EQ(CardMark(name), mark) << name;
    }

    publisher_.PublishDeviceList(
        DeviceClass::kModem,
        std::vector<std::string>{"TAVRIO Linkwave - 3G Modem", "TAVRIO Linkwave - 3G Modem #2"});
    ModemKey("0000", "TAVRIO Linkwave - 3G Modem", "COM13");
    ModemKey("0001", "TAVRIO Linkwave - 3G Modem #2", "COM23");
    EXPECT_EQ(FindModemPortFor(publisher_.Root(), ""), 13);
    EXPECT_EQ(FindModemPortFor(publisher_.Root(), " #2"), 23);
    EXPECT_EQ(FindModemPortFor(publisher_.Root(), " #3"), std::nullopt);
}

// A driver that marks only its modems leaves the PC UI interfaces alike (their COM numbers tell
// them apart): the card at each place of the list takes the modem of that place's mark.
TEST(ModemMarkFor, UnmarkedPortsPairByTheirPlace) {
    const std::vector<DiagPortEntry> unmarked{{12, "a (COM12)", ""}, {22, "a (COM22)", ""}};
    EXPECT_EQ(ModemMarkFor(unmarked, 0), "");
    EXPECT_EQ(ModemMarkFor(unmarked, 1), " #2");
}

TEST(MatchFriendlyName, PairsBelongToTheirReference) {
    EXPECT_TRUE(MatchFriendlyName("TAVRIO Linkwave X PC UI Interface", kPcUiReference));
    EXPECT_FALSE(MatchFriendlyName("TAVRIO Linkwave X PC UI Interface", kModemReference));
    EXPECT_TRUE(MatchFriendlyName("TAVRIO Linkwave X Modem", kModemReference));
    EXPECT_FALSE(MatchFriendlyName("TAVRIO Linkwave", kModemReference));
    EXPECT_FALSE(MatchFriendlyName("TAVRIO Linkwave X Modem", "something else"));
}

}  // namespace
}  // namespace carvex
