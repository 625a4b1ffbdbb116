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
    std::string usb_device;  // published for both COM ports when not empty
};

// The one owner of a device root's Ports and Modem lists and of its modem class key, for every
// simulated card published there. A card publishes and withdraws only its own entries, from its
// own thread, under the root's publisher lock as every writer of a root does.
//
// The lists are written whole at each change: the cards present, in the order of their numbers,
// at indices 0, 1, 2, ... without a gap, so a reader that stops at the first missing index finds
// every card whichever one went. A card's index therefore changes when a card before it comes or
// goes; its number, COM numbers and names never do. A card appears links first, then the modem
// class key, the Modem list and last the Ports list (one rename in devices/); it goes in the
// opposite order, so whoever watches the Ports list finds a card whole, or not at all.
class BenchPublisher {
  public:
    explicit BenchPublisher(carvex::DeviceRoot root) : publisher_(std::move(root)) {}

    const carvex::DeviceRoot& Root() const { return publisher_.Root(); }

    // The card's COM ports, then the lists with its entries at the place of its number.
    void Publish(int card_number, CardEntries entries);
    // The lists without the card's entries, then its COM ports gone.
    void Withdraw(int card_number);

    // While one lives, the cards' changes are kept and the lists written once, when it ends:
    // many cards plugged in or unplugged at once without the lists written for each of them.
    class Batch {
      public:
        explicit Batch(BenchPublisher& publisher);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

      private:
        BenchPublisher& publisher_;
    };

  private:
    enum class Change { kArrival, kDeparture };

    // Under mutex_ and the root's lock.
    void PublishLists(Change change);
    void RemoveComPorts(const std::vector<int>& ports);

    std::mutex mutex_;
    carvex::DevicePublisher publisher_;
    std::map<int, CardEntries> cards_;  // by card number: the order of the lists
    int batches_ = 0;
    bool lists_changed_ = false;   // within a batch
    std::vector<int> ports_gone_;  // within a batch: COM links to remove once the lists are
};

}  // namespace cardsim
