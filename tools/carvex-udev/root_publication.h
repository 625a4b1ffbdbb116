#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "carvex/platform/device_publisher.h"
#include "carvex/platform/device_publisher_lock.h"
#include "tools/carvex-udev/card_table.h"

namespace carvexudev {

// A card's port as it is published.
struct PublishedPort {
    std::string devpath;            // the tty in sysfs: what a remove event names
    std::filesystem::path devnode;  // what com/COMn points to
    std::string card;               // devpath of the USB device: ports of one card share it
    PortRole role = PortRole::kNone;
    int com = 0;
    int card_number = 0;  // 1 for the first card present, 2 for the second, ...

    friend bool operator==(const PublishedPort&, const PublishedPort&) = default;
};

// The driver's friendly name of a published port: "TAVRIO Linkwave - 3G PC UI Interface (COM12)",
// "TAVRIO Linkwave - 3G Modem"; the second and later cards get " #2", " #3" after the name.
std::string FriendlyName(const PublishedPort& port);

// The USB device of a published port as the kernel names it, "/sys/devices/.../1-2", whatever
// sysfs tree it was found in: ModemManager names the card's modem so.
std::string UsbDevicePath(const PublishedPort& port);

// What carvex-udev has published in a device root, changed and written back under the root's
// lock: the com/COMn links with their usb/COMn devices, the Ports and Modem lists and the modem
// class key are made from it as a whole. The publisher keeps its own record of the ports in the
// root (a hidden file) and owns the two device lists and the modem class key there.
class RootPublication {
  public:
    static constexpr const char* kRecordFileName = ".carvex-udev";

    // Takes the root's lock (waiting for other publishers) and reads the record.
    explicit RootPublication(carvex::DeviceRoot root);

    const std::vector<PublishedPort>& Ports() const { return ports_; }

    // Adds the port, or replaces the one with the same devpath. The card number is that of the
    // card's other ports, or the lowest number no other card present has.
    void Put(PublishedPort port);
    // False when the port was not published.
    bool Remove(std::string_view devpath);
    // Everything published now: what a scan found.
    void ReplaceAll(std::vector<PublishedPort> ports);

    // Writes the root: links first, then the modem class key and the lists, then the record;
    // links of ports that went are removed last.
    void Commit();

  private:
    int CardNumberFor(const std::string& card) const;

    carvex::DevicePublisherLock lock_;
    carvex::DevicePublisher publisher_;
    std::vector<PublishedPort> published_;  // as the record was read
    std::vector<PublishedPort> ports_;
};

}  // namespace carvexudev
