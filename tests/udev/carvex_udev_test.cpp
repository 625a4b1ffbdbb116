#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "carvex/link/port_discovery.h"
#include "carvex/platform/device_list.h"
#include "carvex/platform/modem_manager.h"
#include "carvex/platform/registry.h"
#include "tests/support/fake_sysfs.h"

namespace {

namespace fs = std::filesystem;
using testsupport::FakeTty;

const std::string kPcUiName = "TAVRIO Linkwave - 3G PC UI Interface";
const std::string kModemName = "TAVRIO Linkwave - 3G Modem";

std::vector<std::string> List(const carvex::DeviceRoot& root, carvex::DeviceClass device_class) {
    const carvex::DeviceList list(root, device_class);
    std::vector<std::string> names;
    for (int i = 0; list.Enumerate(i) == carvex::DeviceList::Entry::kPresent; ++i) {
        names.push_back(list.FriendlyName(i).value_or("(unreadable)"));
    }
    return names;
}

// "FriendlyName -> AttachedTo" of each modem class subkey.
std::vector<std::string> ModemKeys(const carvex::DeviceRoot& root) {
    std::vector<std::string> keys;
    const auto class_key = carvex::RegistryKey::OpenLocalMachine(root, carvex::kModemClassKey);
    for (const std::string& name :
         class_key ? class_key->SubkeyNames() : std::vector<std::string>{}) {
        const auto key = carvex::RegistryKey::OpenLocalMachine(
            root, std::string(carvex::kModemClassKey) + "\\" + name);
        keys.push_back(key->ReadString("FriendlyName").value_or("?") + " -> " +
                       key->ReadString("AttachedTo").value_or("?"));
    }
    return keys;
}

// carvex-udev as udev runs it, on a fake machine.
class CarvexUdevTest : public ::testing::Test {
  protected:
    struct Card {
        FakeTty pcui;
        FakeTty modem;
    };

    // A card whose interfaces name themselves as the driver names them: modem 0, PC UI 2.
    Card PlugInCard(int usb_port, int first_tty) {
        const auto device = world_.Sysfs().AddUsbDevice(usb_port, "7e3b", "abcd");
        Card card;
        card.modem =
            world_.Sysfs().AddUsbTty(device, 0, "ttyUSB" + std::to_string(first_tty), kModemName);
        card.pcui = world_.Sysfs().AddUsbTty(device, 2, "ttyUSB" + std::to_string(first_tty + 1),
                                             kPcUiName);
        Send(card.modem, "add");
        Send(card.pcui, "add");
        return card;
    }

    testsupport::ProgramResult Send(const FakeTty& tty, const std::string& action,
                                    std::vector<std::string> extra_env = {}) {
        auto env = tty.Event(action);
        env.insert(env.end(), extra_env.begin(), extra_env.end());
        auto result = world_.Run(CARVEX_UDEV, {}, env);
        EXPECT_EQ(result.exit_code, 0) << result.err;
        return result;
    }

    void Unplug(const FakeTty& tty) {
        world_.Sysfs().Unplug(tty);
        Send(tty, "remove");
    }

    std::string ComLink(int number) const {
        std::error_code error;
        return fs::read_symlink(world_.Root() / "com" / ("COM" + std::to_string(number)), error)
            .string();
    }

    carvex::DeviceRoot Root() const { return carvex::DeviceRoot(world_.Root()); }

    testsupport::UdevWorld world_;
};

TEST_F(CarvexUdevTest, ACardIsPublishedAsItsDriverRegistersItAndFoundByDiscovery) {
    const mode_t umask_before = ::umask(077);  // the programs started below inherit it
    const Card card = PlugInCard(2, 0);
    ::umask(umask_before);
    // The modem came first and took the first free number.
    EXPECT_EQ(ComLink(3), "/dev/ttyUSB0");
    EXPECT_EQ(ComLink(4), "/dev/ttyUSB1");
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts),
              std::vector<std::string>{kPcUiName + " (COM4)"});
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kModem), std::vector<std::string>{kModemName});
    EXPECT_EQ(ModemKeys(Root()), std::vector<std::string>{kModemName + " -> COM3"});
    EXPECT_EQ(carvex::FindDiagPort(Root()), 4);
    EXPECT_EQ(carvex::FindModemPort(Root()), 3);
    // Beside each port, the card's USB device as the kernel and ModemManager name it.
    const std::string usb_device = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    EXPECT_EQ(carvex::PublishedUsbDevice(Root(), 3), usb_device);
    EXPECT_EQ(carvex::PublishedUsbDevice(Root(), 4), usb_device);

    // Everyone may read what was published, whatever the publisher's umask.
    struct stat info {};
    ASSERT_EQ(::stat((world_.Root() / "devices" / "ports" / "0" / "FriendlyName").c_str(), &info),
              0);
    EXPECT_EQ(info.st_mode & 0444, 0444u);
    for (const char* folder : {"devices/ports/0", "devices", "com", "usb", "."}) {
        ASSERT_EQ(::stat((world_.Root() / folder).c_str(), &info), 0) << folder;
        EXPECT_EQ(info.st_mode & 0555, 0555u) << folder;
    }

    // A root published by a version that published no USB devices gets them with the next
    // event (the package's upgrade sends every tty a change).
    fs::remove_all(world_.Root() / "usb");
    Send(card.pcui, "change");
    EXPECT_EQ(carvex::PublishedUsbDevice(Root(), 3), usb_device);
    EXPECT_EQ(carvex::PublishedUsbDevice(Root(), 4), usb_device);
}

// The kernel adds a card's interfaces one after another: udev may handle the modem's tty while
// the PC UI interface, which makes an unlisted device a card, does not exist yet. The modem is
// published with the PC UI port when that comes.
TEST_F(CarvexUdevTest, AModemHandledBeforeItsPcUiInterfaceExistedIsPublishedWithIt) {
    const auto device = world_.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
    const FakeTty modem = world_.Sysfs().AddUsbTty(device, 0, "ttyUSB0", kModemName);
    Send(modem, "add");
    EXPECT_TRUE(List(Root(), carvex::DeviceClass::kModem).empty()) << "not a card yet";

    const FakeTty pcui = world_.Sysfs().AddUsbTty(device, 2, "ttyUSB1", kPcUiName);
    const auto result = Send(pcui, "add");
    EXPECT_NE(result.err.find("published /dev/ttyUSB0 as COM4 (modem"), std::string::npos)
        << result.err;
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kModem), std::vector<std::string>{kModemName});
    EXPECT_EQ(ModemKeys(Root()), std::vector<std::string>{kModemName + " -> COM4"});
    EXPECT_EQ(ComLink(4), "/dev/ttyUSB0");
    EXPECT_EQ(carvex::FindDiagPort(Root()), 3);

    // Another device's ports are not the card's.
    const auto other = world_.Sysfs().AddUsbDevice(3, "7e3b", "abce");
    world_.Sysfs().AddUsbTty(other, 0, "ttyUSB5", kModemName);
    Send(pcui, "change");
    EXPECT_EQ(ComLink(5), "");
}

TEST_F(CarvexUdevTest, TwoCardsGetTheirOwnNumbersAndNamesInTheSameOrder) {
    const Card first = PlugInCard(2, 0);
    const Card second = PlugInCard(3, 2);
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts),
              (std::vector<std::string>{kPcUiName + " (COM4)", kPcUiName + " #2 (COM6)"}));
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kModem),
              (std::vector<std::string>{kModemName, kModemName + " #2"}));
    EXPECT_EQ(ModemKeys(Root()),
              (std::vector<std::string>{kModemName + " -> COM3", kModemName + " #2 -> COM5"}));

    // The first card's PC UI goes: the list closes up, the second card keeps its name, and its
    // modem is still the second in its list, so the board-type query keeps to the first card.
    Unplug(first.pcui);
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts),
              std::vector<std::string>{kPcUiName + " #2 (COM6)"});
    EXPECT_EQ(ComLink(4), "");
    EXPECT_EQ(carvex::PublishedUsbDevice(Root(), 4), std::nullopt);
    EXPECT_EQ(carvex::PublishedUsbDevice(Root(), 6),
              "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-3");
    EXPECT_EQ(carvex::FindDiagPort(Root()), 6);
    EXPECT_EQ(carvex::FindModemPort(Root()), 3);

    Unplug(first.modem);
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kModem),
              std::vector<std::string>{kModemName + " #2"});
    EXPECT_EQ(ModemKeys(Root()), std::vector<std::string>{kModemName + " #2 -> COM5"});
    EXPECT_EQ(carvex::FindModemPort(Root()), 5) << "now the second card's connection asks its own";
    EXPECT_EQ(ComLink(3), "");
    EXPECT_EQ(ComLink(5), second.modem.devnode);
}

TEST_F(CarvexUdevTest, TheSamePortRepluggedGetsTheSameNumber) {
    const Card card = PlugInCard(2, 0);
    Unplug(card.pcui);
    Unplug(card.modem);
    EXPECT_TRUE(List(Root(), carvex::DeviceClass::kPorts).empty());
    EXPECT_TRUE(ModemKeys(Root()).empty());

    // Plugged into another USB port first: new numbers. Then back into the first: the old ones,
    // even though the kernel named its ttys differently this time.
    PlugInCard(4, 0);
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts),
              std::vector<std::string>{kPcUiName + " (COM6)"});
    const auto device = world_.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
    Send(world_.Sysfs().AddUsbTty(device, 2, "ttyUSB7", kPcUiName), "add");
    EXPECT_EQ(ComLink(4), "/dev/ttyUSB7");
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts),
              (std::vector<std::string>{kPcUiName + " (COM6)", kPcUiName + " #2 (COM4)"}));
}

TEST_F(CarvexUdevTest, RolesComeFromTableThenModemManagerTagsThenInterfaceNames) {
    world_.SetCardTable("7e3b abcd 01 pcui\n");
    const auto device = world_.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
    const FakeTty by_table = world_.Sysfs().AddUsbTty(device, 1, "ttyUSB1", "Diagnostics");
    const FakeTty by_tag = world_.Sysfs().AddUsbTty(device, 3, "ttyUSB3");
    const FakeTty by_name = world_.Sysfs().AddUsbTty(device, 4, "ttyUSB4", "3G Modem");
    const FakeTty nameless = world_.Sysfs().AddUsbTty(device, 5, "ttyUSB5");
    Send(by_table, "add");
    Send(by_tag, "add", {"ID_MM_PORT_TYPE_AT_SECONDARY=1"});
    Send(by_name, "add");
    const auto skipped = Send(nameless, "add");

    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts),
              (std::vector<std::string>{kPcUiName + " (COM3)", kPcUiName + " (COM4)"}));
    EXPECT_EQ(ModemKeys(Root()), std::vector<std::string>{kModemName + " -> COM5"});
    EXPECT_EQ(ComLink(6), "") << "a port without a role is not published";
    EXPECT_EQ(world_.Run(CARVEX_UDEV, {"--classify"}, nameless.Event("add")).out, "");

    // A change event whose tag is gone takes the role away.
    Send(by_tag, "change");
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts),
              std::vector<std::string>{kPcUiName + " (COM3)"});
    EXPECT_EQ(ComLink(4), "");
}

TEST_F(CarvexUdevTest, TtysThatAreNotOnUsbAreLeftAlone) {
    const FakeTty serial = world_.Sysfs().AddPlatformTty("ttyS0");
    Send(serial, "add", {"ID_MM_PORT_TYPE_AT_SECONDARY=1"});
    EXPECT_FALSE(fs::exists(world_.Root())) << "nothing to publish, no root made";
    EXPECT_EQ(world_.Run(CARVEX_UDEV, {"--classify"}, serial.Event("add")).out, "");
}

TEST_F(CarvexUdevTest, AMalformedTableLineIsReportedAndSkipped) {
    world_.SetCardTable("# a card\n7e3b abcd 02 pcui\n");
    std::ofstream(world_.ConfigDir() / "cards.d" / "local.conf")
        << "7e3b abcd 02 none\n7e3b abcd 02 dial-up\n";
    const auto device = world_.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
    const auto result = Send(world_.Sysfs().AddUsbTty(device, 2, "ttyUSB2"), "add");
    EXPECT_NE(result.err.find((world_.ConfigDir() / "cards.d" / "local.conf").string() +
                              ":2: unknown role \"dial-up\""),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(List(Root(), carvex::DeviceClass::kPorts).empty())
        << "the local line before it still overrides the shipped one";
}

// What the rule tells ModemManager about a listed card's ports under each setting of carvex.conf;
// an unlisted card is never hidden from it.
TEST_F(CarvexUdevTest, ClassificationForUdevHidesTheListedCardsPortsTheSettingNames) {
    world_.SetCardTable("7e3b abcd 00 modem\n");
    const auto device = world_.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
    const FakeTty modem = world_.Sysfs().AddUsbTty(device, 0, "ttyUSB0", kModemName);
    const FakeTty pcui = world_.Sysfs().AddUsbTty(device, 2, "ttyUSB2", kPcUiName);
    const auto unlisted = world_.Sysfs().AddUsbDevice(3, "7e3b", "abce");
    const FakeTty unlisted_modem = world_.Sysfs().AddUsbTty(unlisted, 0, "ttyUSB5", kModemName);
    const FakeTty unlisted_pcui = world_.Sysfs().AddUsbTty(unlisted, 2, "ttyUSB6", kPcUiName);
    const auto classify = [&](const FakeTty& tty) {
        const auto result = world_.Run(CARVEX_UDEV, {"--classify"}, tty.Event("add"));
        EXPECT_TRUE(result.err.empty()) << result.err;
        return result.out;
    };
    struct Case {
        const char* conf;  // nullptr: no carvex.conf
        bool pcui_hidden;
        bool modem_hidden;
    };
    for (const Case& c :
         {Case{nullptr, true, false}, Case{"modemmanager = borrow\n", true, false},
          Case{"modemmanager = block\n", true, true}, Case{"modemmanager = leave\n", false, false},
          Case{"# ours\nleave_modemmanager = yes\n", false, false},
          Case{"leave_modemmanager = no\n", true, false},
          Case{"modemmanager = block\nleave_modemmanager = yes\n", false, false}}) {
        SCOPED_TRACE(c.conf != nullptr ? c.conf : "no carvex.conf");
        fs::remove(world_.ConfigDir() / "carvex.conf");
        if (c.conf != nullptr) {
            std::ofstream(world_.ConfigDir() / "carvex.conf") << c.conf;
        }
        const std::string ignore = "ID_MM_PORT_IGNORE=1\n";
        EXPECT_EQ(classify(pcui), "CARVEX_ROLE=pcui\n" + (c.pcui_hidden ? ignore : ""));
        EXPECT_EQ(classify(modem), "CARVEX_ROLE=modem\n" + (c.modem_hidden ? ignore : ""));
        EXPECT_EQ(classify(unlisted_pcui), "CARVEX_ROLE=pcui\n");
        EXPECT_EQ(classify(unlisted_modem), "CARVEX_ROLE=modem\n");
    }
    EXPECT_FALSE(fs::exists(world_.Root())) << "classifying publishes nothing";

    // A setting it cannot read is reported, and the default holds.
    std::ofstream(world_.ConfigDir() / "carvex.conf") << "modemmanager = take\n";
    const auto result = world_.Run(CARVEX_UDEV, {"--classify"}, modem.Event("add"));
    EXPECT_EQ(result.out, "CARVEX_ROLE=modem\n");
    EXPECT_NE(result.err.find("carvex.conf:1: modemmanager is borrow, block or leave"),
              std::string::npos)
        << result.err;
}

TEST_F(CarvexUdevTest, AnInstalledProgramFindsTheTableInstalledWithIt) {
    // As the package lays it out: the program in lib/udev/, the table in share/carvex/.
    testsupport::TempDir tree;
    const fs::path program = tree.Path() / "usr" / "lib" / "udev" / "carvex-udev";
    fs::create_directories(program.parent_path());
    fs::copy_file(CARVEX_UDEV, program);
    fs::create_directories(tree.Path() / "usr" / "share" / "carvex");
    std::ofstream(tree.Path() / "usr" / "share" / "carvex" / "cards.conf") << "7e3b abcd 01 pcui\n";

    const auto device = world_.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
    const FakeTty tty = world_.Sysfs().AddUsbTty(device, 1, "ttyUSB1", "Diagnostics");
    std::vector<std::string> env;
    for (const std::string& variable : world_.Environment()) {
        if (!variable.starts_with("CARVEX_CARDS=")) {
            env.push_back(variable);
        }
    }
    const auto event = tty.Event("add");
    env.insert(env.end(), event.begin(), event.end());
    const auto result = testsupport::RunProgram(program.string(), {"--classify"}, env);
    EXPECT_EQ(result.out, "CARVEX_ROLE=pcui\nID_MM_PORT_IGNORE=1\n") << result.err;
}

TEST_F(CarvexUdevTest, PublishersRacingOnOneRootLeaveItConsistent) {
    constexpr int kCards = 6;
    std::vector<FakeTty> ttys;
    for (int card = 0; card < kCards; ++card) {
        const auto device = world_.Sysfs().AddUsbDevice(card + 1, "7e3b", "abcd");
        ttys.push_back(
            world_.Sysfs().AddUsbTty(device, 0, "ttyUSB" + std::to_string(2 * card), kModemName));
        ttys.push_back(world_.Sysfs().AddUsbTty(device, 2, "ttyUSB" + std::to_string(2 * card + 1),
                                                kPcUiName));
    }
    // All events at once, as udev runs them for a hub full of cards.
    std::vector<std::unique_ptr<testsupport::RunningProgram>> publishers;
    for (const FakeTty& tty : ttys) {
        auto env = world_.Environment();
        for (const std::string& entry : tty.Event("add")) {
            env.push_back(entry);
        }
        publishers.push_back(std::make_unique<testsupport::RunningProgram>(
            CARVEX_UDEV, std::vector<std::string>{}, env));
    }
    for (auto& publisher : publishers) {
        EXPECT_EQ(publisher->Wait(), 0);
    }

    const auto ports = List(Root(), carvex::DeviceClass::kPorts);
    const auto modems = List(Root(), carvex::DeviceClass::kModem);
    ASSERT_EQ(ports.size(), size_t{kCards});
    ASSERT_EQ(modems.size(), size_t{kCards});
    EXPECT_EQ(ModemKeys(Root()).size(), size_t{kCards});
    std::set<std::string> com_links;
    for (const auto& entry : fs::directory_iterator(world_.Root() / "com")) {
        com_links.insert(fs::read_symlink(entry.path()).string());
    }
    EXPECT_EQ(com_links.size(), 2u * kCards) << "every port has a link of its own";
    for (int card = 0; card < kCards; ++card) {
        const std::string suffix = card == 0 ? "" : " #" + std::to_string(card + 1);
        EXPECT_TRUE(ports[card].starts_with(kPcUiName + suffix + " (COM")) << ports[card];
        EXPECT_EQ(modems[card], kModemName + suffix);
    }
}

TEST_F(CarvexUdevTest, ScanPublishesWhatIsPluggedInNowWithUdevsTags) {
    world_.SetCardTable("7e3b abcd 00 modem\n");
    const auto device = world_.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
    const FakeTty modem = world_.Sysfs().AddUsbTty(device, 0, "ttyUSB0", kModemName);
    const FakeTty tagged = world_.Sysfs().AddUsbTty(device, 1, "ttyUSB1");
    world_.Sysfs().AddPlatformTty("ttyS0");
    // udev's database: ModemManager tagged the second port.
    fs::create_directories(world_.UdevData());
    std::ofstream(world_.UdevData() / "c188:1")
        << "I:1234\nE:ID_PATH=pci-0000:00:14.0-usb-0:2:1.1\nE:ID_MM_PORT_TYPE_AT_SECONDARY=1\n";

    auto result = world_.Run(CARVEX_UDEV, {"--scan"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("2 port(s) published in " + world_.Root().string()),
              std::string::npos)
        << result.out;
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts),
              std::vector<std::string>{kPcUiName + " (COM4)"});
    EXPECT_EQ(ComLink(4), tagged.devnode);
    EXPECT_EQ(ModemKeys(Root()), std::vector<std::string>{kModemName + " -> COM3"});

    // A second scan after the modem went: the same numbers, the modem gone.
    world_.Sysfs().Unplug(modem);
    result = world_.Run(CARVEX_UDEV, {"--scan"});
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts),
              std::vector<std::string>{kPcUiName + " (COM4)"});
    EXPECT_TRUE(ModemKeys(Root()).empty());
    EXPECT_EQ(ComLink(3), "");
}

// Another maker's LTE module beside a card: ModemManager tags its ports and one interface calls
// itself a modem, yet none of it is ours.
TEST_F(CarvexUdevTest, AnotherMakersModemIsLeftAlone) {
    world_.SetCardTable("7e3b abcd 00 modem\n7e3b abcd 02 pcui\n");
    PlugInCard(2, 0);
    const auto other = world_.Sysfs().AddUsbDevice(3, "4321", "0101");
    struct Case {
        std::optional<std::string> interface_name;
        std::vector<std::string> tags;
    } cases[] = {
        {std::nullopt, {"ID_MM_PORT_TYPE_AT_PRIMARY=1"}},
        {std::nullopt, {"ID_MM_PORT_TYPE_AT_SECONDARY=1"}},
        {"LTE Modem", {}},
        {"LTE Modem", {"ID_MM_PORT_TYPE_AT_PRIMARY=1"}},
    };
    int number = 0;
    for (const Case& c : cases) {
        const FakeTty tty = world_.Sysfs().AddUsbTty(
            other, number, "ttyUSB" + std::to_string(4 + number), c.interface_name);
        ++number;
        auto event = tty.Event("add");
        event.insert(event.end(), c.tags.begin(), c.tags.end());
        EXPECT_EQ(world_.Run(CARVEX_UDEV, {"--classify"}, event).out, "")
            << "no role, and ModemManager keeps it: " << tty.name;
        Send(tty, "add", c.tags);
    }
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kModem), std::vector<std::string>{kModemName})
        << "no \"Modem #2\" for the board-type query to talk to";
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts),
              std::vector<std::string>{kPcUiName + " (COM4)"});
    EXPECT_EQ(ComLink(5), "");
}

// A device that names its PC UI interface is ours even without a table line; its modem is taken
// with it. ModemManager is not told to leave it: only a listed card is known not to be a modem
// that ModemManager should serve.
TEST_F(CarvexUdevTest, AnUnlistedDeviceWithAPcUiInterfaceIsPublishedWithoutTheIgnoreMark) {
    const auto device = world_.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
    const FakeTty modem = world_.Sysfs().AddUsbTty(device, 0, "ttyUSB0");
    const FakeTty pcui = world_.Sysfs().AddUsbTty(device, 2, "ttyUSB2", kPcUiName);
    Send(modem, "add", {"ID_MM_PORT_TYPE_AT_PRIMARY=1"});
    Send(pcui, "add");
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts),
              std::vector<std::string>{kPcUiName + " (COM4)"});
    EXPECT_EQ(ModemKeys(Root()), std::vector<std::string>{kModemName + " -> COM3"});

    EXPECT_EQ(world_.Run(CARVEX_UDEV, {"--classify"}, pcui.Event("add")).out, "CARVEX_ROLE=pcui\n");
    auto event = modem.Event("add");
    event.push_back("ID_MM_PORT_TYPE_AT_PRIMARY=1");
    EXPECT_EQ(world_.Run(CARVEX_UDEV, {"--classify"}, event).out, "CARVEX_ROLE=modem\n");
}

// An unlisted device is ours only when an interface's name has the PC UI interface's form (it
// ends in "PC UI Interface", or has a form the table gives): another maker's modem whose
// diagnostic interface merely mentions the words is left alone, and nothing of it is published.
TEST_F(CarvexUdevTest, ANameThatOnlyMentionsPcUiClaimsNoDevice) {
    const auto other = world_.Sysfs().AddUsbDevice(3, "4321", "0101");
    const FakeTty modem = world_.Sysfs().AddUsbTty(other, 0, "ttyUSB0", "OtherMaker LTE Modem");
    const FakeTty diag =
        world_.Sysfs().AddUsbTty(other, 1, "ttyUSB1", "OtherMaker Diag (not a PC UI port)");
    Send(modem, "add");
    Send(diag, "add");
    EXPECT_TRUE(List(Root(), carvex::DeviceClass::kPorts).empty());
    EXPECT_TRUE(ModemKeys(Root()).empty());
    EXPECT_EQ(ComLink(3), "");
    EXPECT_EQ(world_.Run(CARVEX_UDEV, {"--classify"}, diag.Event("add")).out, "");

    // A card whose driver names its PC UI interface otherwise, named in the table by its form.
    world_.SetCardTable("pcui-name  acme * diagnostics port   # letter case aside\n");
    const auto card = world_.Sysfs().AddUsbDevice(4, "4321", "0202");
    const FakeTty card_modem = world_.Sysfs().AddUsbTty(card, 0, "ttyUSB4", "Acme Modem");
    const FakeTty card_pcui =
        world_.Sysfs().AddUsbTty(card, 2, "ttyUSB5", "Acme 3G Diagnostics Port");
    Send(card_modem, "add");
    Send(card_pcui, "add");
    EXPECT_EQ(world_.Run(CARVEX_UDEV, {"--classify"}, card_pcui.Event("add")).out,
              "CARVEX_ROLE=pcui\n");
    EXPECT_EQ(List(Root(), carvex::DeviceClass::kPorts).size(), 1u);
    EXPECT_EQ(ModemKeys(Root()).size(), 1u);
    EXPECT_EQ(world_.Run(CARVEX_UDEV, {"--classify"}, diag.Event("add")).out, "")
        << "the other maker's device still is not";
}

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST_F(CarvexUdevTest, LockFilesAreRootsAloneAndOldOnesAreCorrected) {
    const fs::path root_lock = world_.Root() / ".lock";
    const fs::path state_lock = world_.StateDir() / ".lock";
    for (const fs::path& lock : {root_lock, state_lock}) {
        fs::create_directories(lock.parent_path());
        std::ofstream(lock).close();
        ASSERT_EQ(::chmod(lock.c_str(), 0644), 0);
    }
    PlugInCard(2, 0);
    EXPECT_EQ(ModeOf(root_lock), 0600u);
    EXPECT_EQ(ModeOf(state_lock), 0600u);
}

// In a root or state folder that a user can write, links planted where the publisher writes
// (its record, the COM numbers, the names of its temporaries) are replaced, never written
// through; a link at the lock's name stops the publisher before it changes anything.
TEST_F(CarvexUdevTest, LinksPlantedInItsFoldersAreNeverWrittenThrough) {
    const fs::path victim = world_.Root().parent_path() / "victim";
    std::ofstream(victim) << "precious";
    ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
    const fs::path record = world_.Root() / ".carvex-udev";
    const fs::path numbers = world_.StateDir() / "com-ports";
    for (const fs::path& path :
         {record, numbers, world_.Root() / "..carvex-udev.tmp",
          world_.StateDir() / ".com-ports.tmp", world_.Root() / "com" / ".COM3.tmp",
          world_.Root() / "devices" / ".ports.link"}) {
        fs::create_directories(path.parent_path());
        fs::create_symlink(victim, path);
    }
    PlugInCard(2, 0);
    EXPECT_EQ(carvex::FindDiagPort(Root()), 4);
    EXPECT_EQ(ModeOf(record), 0644u);
    EXPECT_EQ(ModeOf(numbers), 0644u);
    std::ifstream kept(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "precious");
    EXPECT_EQ(ModeOf(victim), 0600u);

    fs::remove(world_.Root() / ".lock");
    fs::create_symlink(victim, world_.Root() / ".lock");
    const auto device = world_.Sysfs().AddUsbDevice(3, "7e3b", "abcd");
    const auto refused = world_.Run(
        CARVEX_UDEV, {}, world_.Sysfs().AddUsbTty(device, 2, "ttyUSB9", kPcUiName).Event("add"));
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("cannot open the lock " + (world_.Root() / ".lock").string()),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(ModeOf(victim), 0600u);
}

// Everything in a folder, with the content of its files: what a refused run must leave as it was.
std::map<std::string, std::string> Contents(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        std::ifstream in(entry.path());
        contents[entry.path().lexically_relative(folder).string()] =
            entry.is_symlink() || !entry.is_regular_file()
                ? "(not a file)"
                : std::string(std::istreambuf_iterator<char>(in), {});
    }
    return contents;
}

// A user who can write the device root or the state folder (a root under $HOME, sudo -E) puts
// links where the publisher's folders were, or leaves a folder open to others: run as root, the
// publisher refuses to write there at all, names the folder, and fails.
TEST_F(CarvexUdevTest, RefusesFoldersThatSomeoneElseCouldChange) {
    struct Case {
        const char* what;
        bool after_publishing;  // planted once a card is published: the unplug is refused
        std::function<void(const fs::path& world, const fs::path& victim)> plant;
        std::string refused;  // relative to the world's folder
    };
    const auto link_instead_of = [](const char* folder) {
        return [folder](const fs::path& world, const fs::path& victim) {
            fs::remove_all(world / folder);
            fs::create_directories((world / folder).parent_path());
            fs::create_symlink(victim, world / folder);
        };
    };
    const std::vector<Case> cases = {
        {"the com folder is a link", false, link_instead_of("root/com"), "root/com"},
        {"the com folder became a link", true, link_instead_of("root/com"), "root/com"},
        {"the devices folder is a link", false, link_instead_of("root/devices"), "root/devices"},
        {"a registry folder is a link", false, link_instead_of("root/registry/HKLM/System"),
         "root/registry/HKLM/System"},
        {"the root is a link", false, link_instead_of("root"), "root"},
        {"the state folder is a link", false, link_instead_of("state"), "state"},
        {"the root may be written by others", true,
         [](const fs::path& world, const fs::path&) {
             fs::create_directories(world / "root");
             fs::permissions(world / "root", fs::perms::all);
         },
         "root"},
        {"the folder above the root may be written by others", false,
         [](const fs::path& world, const fs::path&) { fs::permissions(world, fs::perms::all); },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::UdevWorld world;
        const fs::path base = world.Root().parent_path();
        const fs::path victim = base / "victim";
        fs::create_directories(victim / "ports");
        std::ofstream(victim / "COM4") << "precious";
        std::ofstream(victim / "ports" / "notes.txt") << "precious";
        const auto before = Contents(victim);
        const auto device = world.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
        const FakeTty pcui = world.Sysfs().AddUsbTty(device, 2, "ttyUSB1", kPcUiName);
        if (c.after_publishing) {
            ASSERT_EQ(world.Run(CARVEX_UDEV, {}, pcui.Event("add")).exit_code, 0);
            c.plant(base, victim);
            world.Sysfs().Unplug(pcui);
        } else {
            c.plant(base, victim);
        }
        const auto result =
            world.Run(CARVEX_UDEV, {}, pcui.Event(c.after_publishing ? "remove" : "add"));
        EXPECT_EQ(result.exit_code, 1);
        const fs::path refused = c.refused.empty() ? base : base / c.refused;
        EXPECT_NE(result.err.find("carvex-udev: nothing published: " + refused.string() +
                                  " is not safe to publish in: it "),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(Contents(victim), before);
        fs::permissions(base, fs::perms::owner_all);
    }

    // Others may write the folder above, but only their own entries in it (as in /tmp): safe.
    fs::permissions(world_.Root().parent_path(), fs::perms::all | fs::perms::sticky_bit);
    PlugInCard(2, 0);
    EXPECT_EQ(carvex::FindDiagPort(Root()), 4);
}

// A user who holds the lock (any user could, while the file was readable by all) no longer
// stalls udev: the publisher gives up after a few seconds, says why, and fails.
TEST_F(CarvexUdevTest, ALockHeldByAnotherProcessEndsTheRunWithAClearLine) {
    fs::create_directories(world_.Root());
    const fs::path lock = world_.Root() / ".lock";
    std::ofstream(lock).close();
    ASSERT_EQ(::chmod(lock.c_str(), 0600), 0);  // a lock file as publishers make it: kept
    // The holder lets go by itself after 60 s, so a publisher that waited without a limit would
    // end this test late and successfully, never hang it.
    testsupport::RunningProgram holder(
        "/usr/bin/flock", {lock.string(), "sh", "-c", "echo locked; exec timeout 60 cat"});
    ASSERT_EQ(holder.Read(7), "locked\n");
    const pid_t holder_pid = holder.Pid();
    const auto device = world_.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
    const FakeTty pcui = world_.Sysfs().AddUsbTty(device, 2, "ttyUSB2", kPcUiName);

    const auto started = std::chrono::steady_clock::now();
    const auto result = world_.Run(CARVEX_UDEV, {}, pcui.Event("add"));
    const auto waited = std::chrono::steady_clock::now() - started;
    holder.Wait();
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(
        result.err.find("carvex-udev: nothing published: flock (pid " + std::to_string(holder_pid) +
                        ") has held the lock " + lock.string() + " for more than 5 s"),
        std::string::npos)
        << result.err;
    EXPECT_LT(waited, std::chrono::seconds(30));
    EXPECT_TRUE(List(Root(), carvex::DeviceClass::kPorts).empty());
}

// Names come from sysfs, which the USB device fills: control characters in them reach neither
// the terminal nor the journal.
TEST_F(CarvexUdevTest, NamesFromSysfsArePrintedWithControlCharactersEscaped) {
    world_.SetCardTable("7e3b abcd 00 modem\n");
    const auto device = world_.Sysfs().AddUsbDevice(2, "7e3b", "abcd");
    const FakeTty pcui =
        world_.Sysfs().AddUsbTty(device, 2, "ttyUSB2", "\x1b[2J\x1b]0;owned\x07 PC UI Interface");
    auto result = Send(pcui, "add");
    EXPECT_NE(result.err.find("interface name \"\\x1b[2J\\x1b]0;owned\\x07 PC UI Interface\""),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos);

    world_.Sysfs().AddUsbTty(device, 4, "ttyUSB4", "Diag\x1b[31m");
    result = world_.Run(CARVEX_UDEV, {"--scan"});
    EXPECT_NE(result.err.find("interface name \"Diag\\x1b[31m\" names no role"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos);
}

TEST(CarvexUdevHelp, ListsEachOptionOnALineOfItsOwn) {
    const auto help = testsupport::RunProgram(CARVEX_UDEV, {"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.find("Excludes"), std::string::npos) << help.out;
    for (const char* line : {"\n  --scan      publish the cards plugged in now",
                             "\n  --classify  print the port's role",
                             "\nUsage: carvex-udev [--scan | --classify]\n"}) {
        EXPECT_NE(help.out.find(line), std::string::npos) << line << "\n" << help.out;
    }
}

}  // namespace
