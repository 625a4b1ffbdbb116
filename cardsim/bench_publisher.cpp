#include "cardsim/bench_publisher.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include "carvex/platform/device_publisher_lock.h"

namespace cardsim {

namespace {

// "0000", "0001", ...: the modem class key's subkeys, one a modem.
std::string SubkeyName(size_t index) {
    std::string name = std::to_string(index);
    return std::string(name.size() < 4 ? 4 - name.size() : 0, '0') + name;
}

// A root holds nothing that outlives its cards: it goes in memory, as /run/carvex does, where
// writing and removing its many small entries costs no disk work: the user's runtime folder, else
// the shared memory folder, else the temporary folder.
std::filesystem::path TemporaryRootParent() {
    std::error_code error;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/' && std::filesystem::is_directory(runtime, error)) {
        return runtime;
    }
    if (std::filesystem::is_directory("/dev/shm", error)) {
        return "/dev/shm";
    }
    return std::filesystem::temp_directory_path();
}

}  // namespace

std::filesystem::path MakeTemporaryRoot() {
    std::string pattern = (TemporaryRootParent() / "cardsim-root-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a device root");
    }
    return pattern;
}

void BenchPublisher::Publish(int card_number, CardEntries entries) {
    std::lock_guard lock(mutex_);
    const carvex::DevicePublisherLock root_lock(publisher_.Root());
    // Known before anything is written: a card that fails halfway is withdrawn whole.
    const CardEntries& card = cards_[card_number] = std::move(entries);
    std::erase_if(ports_gone_,
                  [&](int port) { return port == card.pcui_port || port == card.modem_port; });
    publisher_.PublishComPort(carvex::ComName(card.pcui_port), card.pcui_device);
    publisher_.PublishComPort(carvex::ComName(card.modem_port), card.modem_device);
    if (!card.usb_device.empty()) {
        publisher_.PublishUsbDevice(carvex::ComName(card.pcui_port), card.usb_device);
        publisher_.PublishUsbDevice(carvex::ComName(card.modem_port), card.usb_device);
    }
    if (batches_ > 0) {
        lists_changed_ = true;
        return;
    }
    PublishLists(Change::kArrival);
}

void BenchPublisher::Withdraw(int card_number) {
    std::lock_guard lock(mutex_);
    const auto card = cards_.find(card_number);
    if (card == cards_.end()) {
        return;
    }
    const std::vector<int> ports = {card->second.pcui_port, card->second.modem_port};
    cards_.erase(card);
    if (batches_ > 0) {
        lists_changed_ = true;
        ports_gone_.insert(ports_gone_.end(), ports.begin(), ports.end());
        return;
    }
    const carvex::DevicePublisherLock root_lock(publisher_.Root());
    PublishLists(Change::kDeparture);
    RemoveComPorts(ports);
}

BenchPublisher::Batch::Batch(BenchPublisher& publisher) : publisher_(publisher) {
    std::lock_guard lock(publisher_.mutex_);
    ++publisher_.batches_;
}

BenchPublisher::Batch::~Batch() {
    std::lock_guard lock(publisher_.mutex_);
    if (--publisher_.batches_ > 0 || !publisher_.lists_changed_) {
        return;
    }
    try {
        const carvex::DevicePublisherLock root_lock(publisher_.publisher_.Root());
        // Links to remove mean cards went: those go as a departure, the links after the lists.
        publisher_.PublishLists(publisher_.ports_gone_.empty() ? Change::kArrival
                                                               : Change::kDeparture);
        publisher_.RemoveComPorts(publisher_.ports_gone_);
    } catch (const std::exception& e) {
        std::cerr << "cardsim: cannot publish the cards' lists: " << e.what() << std::endl;
    }
    publisher_.lists_changed_ = false;
    publisher_.ports_gone_.clear();
}

void BenchPublisher::PublishLists(Change change) {
    std::vector<std::string> ports;
    std::vector<std::string> modems;
    std::vector<carvex::RegistrySubkey> modem_keys;
    for (const auto& [number, card] : cards_) {
        ports.insert(ports.end(), card.other_ports.begin(), card.other_ports.end());
        ports.push_back(card.pcui_name);
        modems.push_back(card.modem_name);
        modem_keys.push_back({SubkeyName(modem_keys.size()),
                              {{"FriendlyName", card.modem_name},
                               {"AttachedTo", carvex::ComName(card.modem_port)}}});
    }
    if (change == Change::kArrival) {
        publisher_.PublishRegistrySubkeys(carvex::kModemClassKey, modem_keys);
        publisher_.PublishDeviceList(carvex::DeviceClass::kModem, modems);
        publisher_.PublishDeviceList(carvex::DeviceClass::kPorts, ports);
    } else {
        publisher_.PublishDeviceList(carvex::DeviceClass::kPorts, ports);
        publisher_.PublishDeviceList(carvex::DeviceClass::kModem, modems);
        publisher_.PublishRegistrySubkeys(carvex::kModemClassKey, modem_keys);
    }
}

void BenchPublisher::RemoveComPorts(const std::vector<int>& ports) {
    for (const int port : ports) {
        // Only where the card published one: a root of cards without it gets no usb/ folder.
        std::error_code error;
        const auto device = publisher_.Root().UsbDeviceDirectory() / carvex::ComName(port);
        if (std::filesystem::exists(std::filesystem::symlink_status(device, error))) {
            publisher_.RemoveUsbDevice(carvex::ComName(port));
        }
        publisher_.RemoveComPort(carvex::ComName(port));
    }
}

}  // namespace cardsim
