// Borrowing a card from ModemManager, against a ModemManager of the test's own on a bus of its
// own.
#include "carvex/platform/modem_manager.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

#include "carvex/platform/device_publisher.h"
#include "carvex/platform/environment.h"
#include "tests/support/fake_modem_manager.h"
#include "tests/support/private_bus.h"
#include "tests/support/temp_dir.h"

namespace carvex {
namespace {

using testsupport::FakeModemManager;
using Kind = FakeModemManager::Call::Kind;

constexpr int kCom = 12;
const std::string kDevice = "/sys/devices/pci0000:00/0000:00:1d.0/usb2/2-1";
const ManagedModem kModem{"/org/freedesktop/ModemManager1/Modem/0", kDevice, {"ttyUSB0"}};

class ModemManagerBorrowTest : public ::testing::Test {
  protected:
    ModemManagerBorrowTest() {
        publisher_.PublishUsbDevice(ComName(kCom), kDevice);
        SetEnvironmentValue("DBUS_SYSTEM_BUS_ADDRESS", bus_.Address());
    }
    ~ModemManagerBorrowTest() override { RemoveEnvironmentValue("DBUS_SYSTEM_BUS_ADDRESS"); }

    const DeviceRoot& Root() const { return publisher_.Root(); }

    // A borrow of the card on COM12 under `mode`, and every line it said.
    std::unique_ptr<ModemManagerBorrow> Borrow(ModemManagerMode mode = ModemManagerMode::kBorrow) {
        return std::make_unique<ModemManagerBorrow>(
            Root(), kCom, mode, [this](const std::string& line) { said_.push_back(line); });
    }

    testsupport::TempDir root_dir_;
    DevicePublisher publisher_{DeviceRoot(root_dir_.Path())};
    testsupport::PrivateBus bus_;
    std::vector<std::string> said_;
};

TEST_F(ModemManagerBorrowTest, ModemManagerLetsGoOfTheCardWhileTheBorrowLasts) {
    const ManagedModem other{
        "/org/freedesktop/ModemManager1/Modem/1", "/sys/devices/other", {"ttyACM0", "wwan0"}};
    FakeModemManager modem_manager(bus_.Address(), {kModem, other});
    ModemManagerView view = AskModemManager();
    ASSERT_TRUE(view.reached) << view.why_not;
    ASSERT_EQ(view.modems.size(), 2u);
    EXPECT_EQ(view.modems[0].object_path, kModem.object_path);
    EXPECT_EQ(view.modems[0].device, kDevice);
    EXPECT_EQ(view.modems[1].ports, other.ports);

    auto borrow = Borrow();
    EXPECT_TRUE(borrow->Borrowed());
    ASSERT_EQ(said_.size(), 1u);
    EXPECT_NE(said_[0].find("ModemManager lends the card on COM12 (" + kDevice + ")"),
              std::string::npos)
        << said_[0];
    view = AskModemManager();
    ASSERT_EQ(view.modems.size(), 1u) << "the borrowed card's modem is gone meanwhile";
    EXPECT_EQ(view.modems[0].device, other.device);

    borrow.reset();
    const auto calls = modem_manager.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, Kind::kInhibit);
    EXPECT_EQ(calls[1].kind, Kind::kUninhibit);
    for (const auto& call : calls) {
        EXPECT_EQ(call.device, kDevice);
        EXPECT_TRUE(call.granted);
        EXPECT_EQ(call.caller, calls[0].caller) << "only the borrower may give the card back";
    }
    EXPECT_EQ(AskModemManager().modems.size(), 2u);
    EXPECT_EQ(said_.size(), 1u);
}

// Whatever keeps the card from being borrowed, the work goes on: one line says why, and
// ModemManager is asked nothing more.
TEST_F(ModemManagerBorrowTest, EachWayOfNotBorrowingSaysWhyOnce) {
    struct Case {
        std::string name;
        std::function<std::unique_ptr<FakeModemManager>()> modem_manager;
        std::string said;
        size_t calls;
    };
    const auto lending = [&](std::vector<ManagedModem> modems) {
        return
            [this, modems] { return std::make_unique<FakeModemManager>(bus_.Address(), modems); };
    };
    const auto no_device = [&] {
        publisher_.RemoveUsbDevice(ComName(kCom));
        return std::make_unique<FakeModemManager>(bus_.Address(), std::vector{kModem});
    };
    const std::vector<Case> cases = {
        {"no ModemManager on the bus", [] { return nullptr; }, "ModemManager: not running;", 0},
        {"no system bus",
         [&] {
             SetEnvironmentValue("DBUS_SYSTEM_BUS_ADDRESS",
                                 "unix:path=" + (root_dir_.Path() / "no-bus").string());
             return nullptr;
         },
         "ModemManager: no system bus (", 0},
        {"polkit says no",
         [&] {
             return std::make_unique<FakeModemManager>(bus_.Address(), std::vector{kModem},
                                                       FakeModemManager::Answer::kRefuse);
         },
         "it refuses to lend the card on COM12 "
         "(org.freedesktop.ModemManager1.Error.Core.Unauthorized",
         1},
        {"a card ModemManager does not manage", lending({}),
         "it manages no device " + kDevice + " (the card on COM12)", 1},
        {"no USB device published for the card", no_device,
         "the device root names no USB device for the card on COM12", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        said_.clear();
        const auto modem_manager = c.modem_manager();
        const auto borrow = Borrow();
        EXPECT_FALSE(borrow->Borrowed());
        ASSERT_EQ(said_.size(), 1u);
        EXPECT_NE(said_[0].find(c.said), std::string::npos) << said_[0];
        EXPECT_NE(said_[0].find("the card is worked without borrowing it"), std::string::npos)
            << said_[0];
        if (modem_manager) {
            EXPECT_EQ(modem_manager->Calls().size(), c.calls);
        }
        SetEnvironmentValue("DBUS_SYSTEM_BUS_ADDRESS", bus_.Address());
    }
}

TEST_F(ModemManagerBorrowTest, ACardAnotherProgramBorrowedIsNotTakenFromIt) {
    FakeModemManager modem_manager(bus_.Address(), {kModem});
    const auto first = Borrow();
    ASSERT_TRUE(first->Borrowed());
    said_.clear();
    const auto second = Borrow();
    EXPECT_FALSE(second->Borrowed());
    ASSERT_EQ(said_.size(), 1u);
    EXPECT_NE(said_[0].find("Error.Core.InProgress"), std::string::npos) << said_[0];
    EXPECT_NE(said_[0].find("may use its modem port meanwhile"), std::string::npos) << said_[0];
}

// What a device root holds is anyone's to write where a user publishes cards: only a plain
// absolute path goes on the bus.
TEST(PublishedUsbDevice, OnlyAPlainPathIsTaken) {
    testsupport::TempDir dir;
    DevicePublisher publisher{DeviceRoot(dir.Path())};
    const DeviceRoot& root = publisher.Root();
    publisher.PublishUsbDevice("COM3", kDevice);
    EXPECT_EQ(PublishedUsbDevice(root, 3), kDevice);
    EXPECT_EQ(PublishedUsbDevice(root, 4), std::nullopt);
    for (const std::string& text :
         std::vector<std::string>{"devices/usb1/1-2", "/sys/devices/usb1/1-2\x1b[2J", "/sys/a b",
                                  std::string("/sys/a\0b", 8), ""}) {
        publisher.PublishUsbDevice("COM3", text);
        EXPECT_EQ(PublishedUsbDevice(root, 3), std::nullopt) << text;
    }
    publisher.RemoveUsbDevice("COM3");
    std::filesystem::create_directories(root.UsbDeviceDirectory() / "COM3" / "sys");
    EXPECT_EQ(PublishedUsbDevice(root, 3), std::nullopt);
}

}  // namespace
}  // namespace carvex
