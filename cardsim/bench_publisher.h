#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "carvex/platform/device_publisher.h"

namespace cardsim {

// A new, empty device root under the temporary folder.
std::filesystem::path MakeTemporaryRoot();

// What one simulated card shows in a device root while it is plugged in.
struct CardEntries {
    std::vector<std::string> other_ports;  // Ports-class devices the driver lists before the PC UI
    std::string pcui_name;                 // the PC UI interface's friendly name, "(COMn)" included
    int pcui_port = 0;
    std::filesystem::path pcui_device;
    std::string modem_name;
    int modem_port = 0;
    std::filesystem::path modem_device;
};

// The one owner of a device root's Ports and Modem lists and of its modem class key, for every
// simulated card published there. A card publishes and withdraws only its own entries, from its
// own thread; the lists and the key are swapped in whole each time, so a reader enumerating them
// while one card restarts finds every other card throughout.
class BenchPublisher {
  public:
    explicit BenchPublisher(carvex::DeviceRoot root) : publisher_(std::move(root)) {}

    const carvex::DeviceRoot& Root() const { return publisher_.Root(); }

    // The card's COM ports, then the lists with its entries at the place of its number.
    void Publish(int card_number, CardEntries entries);
    // The lists without the card's entries, then its COM ports gone.
    void Withdraw(int card_number);

  private:
    void PublishLists();

    std::mutex mutex_;
    carvex::DevicePublisher publisher_;
    std::map<int, CardEntries> cards_;  // by card number: the order of the lists
};

}  // namespace cardsim
