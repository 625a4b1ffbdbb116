#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_dir.h"
#include "tools/carvex-udev/card_table.h"
#include "tools/carvex-udev/com_numbers.h"
#include "tools/carvex-udev/tty_classifier.h"

namespace carvexudev {
namespace {

constexpr UsbInterfaceId kPcUi{0x7e3b, 0xabcd, 2};
constexpr UsbInterfaceId kModem{0x7e3b, 0xabcd, 0};

TEST(CardTable, ReadsLinesAndLaterLinesWin) {
    CardTable table;
    Problems problems;
    table.AddText(
        "# vendor product interface role\n"
        "\n"
        "7E3B ABCD 02 pcui   # the PC UI interface\n"
        "0x7e3b\t0xabcd\t0 modem\n"
        "7e3b abcd 05 modem\n",
        "/usr/share/carvex/cards.conf", problems);
    table.AddText("7e3b abcd 5 none\n", "/etc/carvex/cards.d/local.conf", problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(table.Find(kPcUi), PortRole::kPcUi);
    EXPECT_EQ(table.Find(kModem), PortRole::kModem);
    EXPECT_EQ(table.Find({0x7e3b, 0xabcd, 5}), PortRole::kNone);
    EXPECT_EQ(table.Find({0x7e3b, 0xabce, 2}), std::nullopt);
}

TEST(CardTable, MalformedLinesAreReportedWithFileAndLineAndSkipped) {
    struct Case {
        const char* line;
        const char* message;
    } cases[] = {
        {"7e3b abcd 02", "expected \"vendor product interface role\", found 3 fields"},
        {"7e3b abcd 02 pcui extra", "found 5 fields"},
        {"12345 abcd 02 pcui", "the vendor and product ids are hex numbers of up to 4 digits"},
        {"7e3b wxyz 02 pcui", "the vendor and product ids"},
        {"7e3b abcd 100 pcui", "the interface number is a hex number of up to 2 digits"},
        {"7e3b abcd 02 PCUI", "unknown role \"PCUI\" (pcui, modem or none)"},
        {"7e3b abcd -2 modem", "the interface number"},
    };
    for (const auto& c : cases) {
        CardTable table;
        Problems problems;
        table.AddText(std::string("7e3b abcd 00 modem\n\n") + c.line + "\n7e3b abcd 03 pcui\n",
                      "local.conf", problems);
        ASSERT_EQ(problems.size(), 1u) << c.line;
        EXPECT_TRUE(problems[0].starts_with("local.conf:3: ")) << problems[0];
        EXPECT_NE(problems[0].find(c.message), std::string::npos) << problems[0];
        EXPECT_EQ(table.Size(), 2u) << "the lines around it still count: " << c.line;
    }
}

TEST(CardTable, APcUiNameHasTheInterfacesFormNotMerelyItsWords) {
    CardTable table;
    Problems problems;
    table.AddText("pcui-name  Orvane * Secondary Port\npcui-name\n", "local.conf", problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_TRUE(problems[0].starts_with("local.conf:2: \"pcui-name\" needs the form of a name"))
        << problems[0];
    for (const char* name :
         {"TAVRIO Linkwave - 3G PC UI Interface", "Acme pc ui interface", "PC UI Interface",
          "Orvane Mobile Broadband Secondary Port", "ORVANE  SECONDARY PORT"}) {
        EXPECT_TRUE(table.NamesPcUi(name)) << name;
    }
    for (const char* name :
         {"OtherMaker Diag (not a PC UI port)", "PC UI", "Acme PC UI Interface 2", "PC UI Interfac",
          "Orvane Secondary Port Modem", ""}) {
        EXPECT_FALSE(table.NamesPcUi(name)) << name;
    }
}

TEST(Classify, TableThenModemManagerTagsThenInterfaceName) {
    CardTable table;
    Problems problems;
    table.AddText("7e3b abcd 02 pcui\n7e3b abcd 03 none\n", "cards.conf", problems);
    struct Case {
        UsbInterfaceId id;
        bool at_primary;
        bool at_secondary;
        std::optional<std::string> interface_name;
        PortRole role;
        const char* why;
    } cases[] = {
        {kPcUi, true, false, "Modem", PortRole::kPcUi, "card table"},
        {{0x7e3b, 0xabcd, 3}, false, true, "PC UI", PortRole::kNone, "the card table names no"},
        {kModem, false, true, std::nullopt, PortRole::kPcUi, "ID_MM_PORT_TYPE_AT_SECONDARY"},
        {kModem, true, false, "PC UI", PortRole::kModem, "ID_MM_PORT_TYPE_AT_PRIMARY"},
        {kModem, false, false, "TAVRIO Linkwave - 3G PC UI Interface", PortRole::kPcUi,
         "interface name \"TAVRIO Linkwave - 3G PC UI Interface\""},
        {kModem, false, false, "TAVRIO Linkwave - 3G Modem", PortRole::kModem, "interface name"},
        {kModem, false, false, "tavrio linkwave - 3g modem", PortRole::kNone,
         "no card table line for 7e3b:abcd interface 00, no ModemManager tag, interface name "
         "\"tavrio linkwave - 3g modem\" names no role"},
        {kModem, false, false, std::nullopt, PortRole::kNone, "no interface name"},
    };
    for (const auto& c : cases) {
        UsbTty tty;
        tty.id = c.id;
        tty.mm_at_primary = c.at_primary;
        tty.mm_at_secondary = c.at_secondary;
        tty.interface_name = c.interface_name;
        const Classification result = Classify(table, tty);
        EXPECT_EQ(result.role, c.role) << c.why;
        EXPECT_NE(result.why.find(c.why), std::string::npos) << result.why;
    }
}

TEST(ComNumbers, NewPortsTakeTheLowestNumberNoPortHasHadFromThreeOn) {
    testsupport::TempDir dir;
    const ComNumbers numbers(dir.Path() / "state");
    EXPECT_EQ(numbers.NumberFor("pci-0000:00:14.0-usb-0:2:1.2#02"), 3);
    const std::vector<std::string> keys = {"usb-0:2:1.0#00", "pci-0000:00:14.0-usb-0:2:1.2#02",
                                           "usb-0:3:1.0#00"};
    EXPECT_EQ(numbers.NumbersFor(keys), (std::vector<int>{4, 3, 5}));

    // A fresh reader of the same state: the numbers stay, a gap left by a hand edit is reused.
    std::ofstream(dir.Path() / "state" / ComNumbers::kFileName)
        << "COM3\tpci-0000:00:14.0-usb-0:2:1.2#02\ngarbage line\nCOMx\tkey\nCOM5\tusb-0:3:1.0#00\n";
    const ComNumbers again(dir.Path() / "state");
    EXPECT_EQ(again.NumberFor("usb-0:3:1.0#00"), 5);
    EXPECT_EQ(again.NumberFor("usb-0:4:1.0#00"), 4);
    EXPECT_EQ(again.NumberFor("usb-0:2:1.0#00"), 6) << "a port that was dropped comes back anew";
    EXPECT_EQ(again.Assigned().size(), 4u);
}

TEST(ComNumbers, PortKeyIsUdevsPathAndTheInterfaceElseTheSysfsPlace) {
    UsbTty tty;
    tty.id = kPcUi;
    tty.usb_device = "/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    EXPECT_EQ(PortKey(tty), "sysfs:/devices/pci0000:00/0000:00:14.0/usb1/1-2#02");
    tty.id_path = "pci-0000:00:14.0-usb-0:2:1.2";
    EXPECT_EQ(PortKey(tty), "pci-0000:00:14.0-usb-0:2:1.2#02");
    tty.id_path = "odd\tpath\n";
    EXPECT_EQ(PortKey(tty), "odd_path_#02") << "one line per port in the state file";
}

}  // namespace
}  // namespace carvexudev
