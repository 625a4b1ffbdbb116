#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "carvex/platform/carvex_conf.h"
#include "carvex/platform/device_root.h"

namespace carvex {

// The USB device the port COM`com` belongs to, as the device root publishes it (usb/COMn, by
// carvex-udev): the name ModemManager knows the card's modem by (its Device property, the uid
// that InhibitDevice takes). nullopt when the root names none.
std::optional<std::string> PublishedUsbDevice(const DeviceRoot& root, int com);

// A card borrowed from ModemManager while a program works it. Under "modemmanager = borrow"
// ModemManager is asked on the system bus ($DBUS_SYSTEM_BUS_ADDRESS, else the usual one) to let
// go of the card's USB device (InhibitDevice) and to take it back when the object goes. It holds
// the inhibition only as long as this program's bus connection lives, so a program that is
// killed gives the card back as well. Without ModemManager, or when it refuses (polkit), the
// work goes on as under "block". Under "block" and "leave" nothing is asked.
//
// Constructed where a card's session begins, before the card is opened, and kept until the work
// on it (a restart and a read-back included) is over. Nothing on Windows.
class ModemManagerBorrow {
  public:
    // Gets the one line the log should show: the card borrowed, or why it is not.
    using Say = std::function<void(const std::string& line)>;

    // The card whose PC UI interface is COM`port` (the first card of the root when nullopt), as
    // carvex.conf's modemmanager setting says.
    ModemManagerBorrow(const DeviceRoot& root, std::optional<int> port, const Say& say);
    ModemManagerBorrow(const DeviceRoot& root, std::optional<int> port, ModemManagerMode mode,
                       const Say& say);
    ~ModemManagerBorrow();
    ModemManagerBorrow(const ModemManagerBorrow&) = delete;
    ModemManagerBorrow& operator=(const ModemManagerBorrow&) = delete;

    // True while ModemManager has let go of the card for this program.
    bool Borrowed() const;

  private:
    class Loan;
    std::unique_ptr<Loan> loan_;
};

// A modem ModemManager holds: its object, its device (as PublishedUsbDevice names one) and the
// names of the ports it uses ("ttyUSB0").
struct ManagedModem {
    std::string object_path;
    std::string device;
    std::vector<std::string> ports;
};

// What ModemManager holds now, for a report.
struct ModemManagerView {
    // False: there is no ModemManager to ask (Windows), or it could not be asked (`why_not`).
    bool reached = false;
    std::string why_not;  // "no system bus (...)", "not running", ...
    std::vector<ManagedModem> modems;
};
ModemManagerView AskModemManager();

}  // namespace carvex
