#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

// A tty as a test plugs it in: where sysfs has it, and what udev says about it.
struct FakeTty {
    std::string name;     // ttyUSB2
    std::string devpath;  // /devices/.../ttyUSB2/tty/ttyUSB2
    std::string devnode;  // /dev/ttyUSB2, or the slave of a simulated card's pty
    std::string vendor;   // "7e3b"; empty for a tty that is not on USB
    std::string product;
    std::string interface_number;  // "02"
    std::string id_path;           // udev's ID_PATH

    // The environment udev gives a program it runs for this tty's event.
    std::vector<std::string> Event(const std::string& action) const {
        std::vector<std::string> env = {"ACTION=" + action, "SUBSYSTEM=tty", "DEVPATH=" + devpath,
                                        "DEVNAME=" + devnode, "SEQNUM=1"};
        if (!vendor.empty()) {
            env.insert(env.end(),
                       {"ID_BUS=usb", "ID_VENDOR_ID=" + vendor, "ID_MODEL_ID=" + product,
                        "ID_USB_INTERFACE_NUM=" + interface_number, "ID_PATH=" + id_path});
        }
        return env;
    }
};

// A sysfs tree laid out as the kernel lays out USB serial ports: the USB device with idVendor
// and idProduct, its interfaces with bInterfaceNumber and, when they have one, their name, the
// usb-serial port under the interface and the tty under that, with its uevent; class/tty links.
class FakeSysfs {
  public:
    explicit FakeSysfs(std::filesystem::path root) : root_(std::move(root)) {
        std::filesystem::create_directories(root_ / "class" / "tty");
    }

    const std::filesystem::path& Root() const { return root_; }

    // The USB device on port `port` of bus 1; returns its devpath.
    std::string AddUsbDevice(int port, const std::string& vendor, const std::string& product) {
        const std::string devpath = kController + "/usb1/1-" + std::to_string(port);
        Write(devpath + "/idVendor", vendor);
        Write(devpath + "/idProduct", product);
        return devpath;
    }

    // A usb-serial tty on interface `number` of `device`; `devnode` defaults to /dev/<name>.
    FakeTty AddUsbTty(const std::string& device, int number, const std::string& name,
                      std::optional<std::string> interface_name = std::nullopt,
                      std::optional<std::string> devnode = std::nullopt) {
        const std::string bus_port = device.substr(device.rfind('/') + 1);  // "1-2"
        const std::string interface = device + "/" + bus_port + ":1." + std::to_string(number);
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", number);
        Write(interface + "/bInterfaceNumber", hex);
        if (interface_name) {
            Write(interface + "/interface", *interface_name);
        }
        FakeTty tty;
        tty.name = name;
        tty.devpath = interface + "/" + name + "/tty/" + name;
        tty.devnode = devnode.value_or("/dev/" + name);
        tty.vendor = Read(device + "/idVendor");
        tty.product = Read(device + "/idProduct");
        tty.interface_number = hex;
        tty.id_path =
            "pci-0000:00:14.0-usb-0:" + bus_port.substr(2) + ":1." + std::to_string(number);
        AddTtyNode(tty);
        return tty;
    }

    // A tty of the machine's own serial port, not on USB.
    FakeTty AddPlatformTty(const std::string& name) {
        FakeTty tty;
        tty.name = name;
        tty.devpath = "/devices/platform/serial8250/tty/" + name;
        tty.devnode = "/dev/" + name;
        AddTtyNode(tty);
        return tty;
    }

    // The tty goes, as when the card is unplugged (the USB device itself stays).
    void Unplug(const FakeTty& tty) {
        std::filesystem::remove(root_ / "class" / "tty" / tty.name);
        std::filesystem::remove_all(root_ / tty.devpath.substr(1));
    }

  private:
    static inline const std::string kController = "/devices/pci0000:00/0000:00:14.0";

    void AddTtyNode(const FakeTty& tty) {
        // The kernel writes DEVNAME relative to /dev.
        Write(tty.devpath + "/uevent", "MAJOR=188\nMINOR=" + std::to_string(next_minor_++) +
                                           "\nDEVNAME=" + tty.devnode.substr(5));
        std::filesystem::create_symlink(std::filesystem::path("../..") / tty.devpath.substr(1),
                                        root_ / "class" / "tty" / tty.name);
    }
    void Write(const std::string& devpath, const std::string& text) {
        const auto path = root_ / devpath.substr(1);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text << "\n";
    }
    std::string Read(const std::string& devpath) {
        std::ifstream file(root_ / devpath.substr(1));
        std::string text;
        std::getline(file, text);
        return text;
    }

    std::filesystem::path root_;
    int next_minor_ = 0;
};

// A machine for carvex-udev and carvexctl: a fake sysfs, a device root, a state folder, a
// configuration folder and a card table, all in one temporary folder.
class UdevWorld {
  public:
    UdevWorld() : sysfs_(dir_.Path() / "sys") {
        std::filesystem::create_directories(ConfigDir() / "cards.d");
        SetCardTable("");
    }

    FakeSysfs& Sysfs() { return sysfs_; }
    std::filesystem::path Root() const { return dir_.Path() / "root"; }
    std::filesystem::path StateDir() const { return dir_.Path() / "state"; }
    std::filesystem::path ConfigDir() const { return dir_.Path() / "etc"; }
    std::filesystem::path UdevData() const { return dir_.Path() / "udev-data"; }
    std::filesystem::path CardTable() const { return dir_.Path() / "cards.conf"; }

    void SetCardTable(const std::string& text) { std::ofstream(CardTable()) << text; }

    std::vector<std::string> Environment() const {
        return {
            "CARVEX_SYSFS=" + sysfs_.Root().string(), "CARVEX_ROOT=" + Root().string(),
            "CARVEX_STATE=" + StateDir().string(),    "CARVEX_CONFIG=" + ConfigDir().string(),
            "CARVEX_CARDS=" + CardTable().string(),   "CARVEX_UDEV_DATA=" + UdevData().string()};
    }

    ProgramResult Run(const std::string& program, const std::vector<std::string>& args,
                      std::vector<std::string> extra_env = {}) const {
        auto env = Environment();
        env.insert(env.end(), extra_env.begin(), extra_env.end());
        return RunProgram(program, args, env);
    }

  private:
    TempDir dir_;
    FakeSysfs sysfs_;
};

}  // namespace testsupport
