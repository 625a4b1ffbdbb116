#include "cardsim/bench_publisher.h"

#include <stdlib.h>

#include <stdexcept>

namespace cardsim {

namespace {

// "0000", "0001", ...: the modem class key's subkeys, one a modem.
std::string SubkeyName(size_t index) {
    std::string name = std::to_string(index);
    return std::string(name.size() < 4 ? 4 - name.size() : 0, '0') + name;
}

}  // namespace

std::filesystem::path MakeTemporaryRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cardsim-root-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a device root");
    }
    return pattern;
}

void BenchPublisher::Publish(int card_number, CardEntries entries) {
    std::lock_guard lock(mutex_);
    publisher_.PublishComPort(carvex::ComName(entries.pcui_port), entries.pcui_device);
    publisher_.PublishComPort(carvex::ComName(entries.modem_port), entries.modem_device);
    cards_[card_number] = std::move(entries);
    PublishLists();
}

void BenchPublisher::Withdraw(int card_number) {
    std::lock_guard lock(mutex_);
    const auto card = cards_.find(card_number);
    if (card == cards_.end()) {
        return;
    }
    const CardEntries gone = std::move(card->second);
    cards_.erase(card);
    PublishLists();
    publisher_.RemoveComPort(carvex::ComName(gone.pcui_port));
    publisher_.RemoveComPort(carvex::ComName(gone.modem_port));
}

void BenchPublisher::PublishLists() {
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
    publisher_.PublishRegistrySubkeys(carvex::kModemClassKey, modem_keys);
    publisher_.PublishDeviceList(carvex::DeviceClass::kModem, modems);
    publisher_.PublishDeviceList(carvex::DeviceClass::kPorts, ports);
}

}  // namespace cardsim
