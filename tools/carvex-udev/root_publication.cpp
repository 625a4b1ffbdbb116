#include "tools/carvex-udev/root_publication.h"

#include <algorithm>
#include <charconv>
#include <sstream>
#include <tuple>

#include "carvex/link/port_discovery.h"
#include "carvex/platform/whole_file.h"
#include "tools/carvex-udev/text_lines.h"

namespace carvexudev {

namespace fs = std::filesystem;

namespace {

// Thousands of ports; a larger record is not one of ours.
constexpr uint64_t kMaxRecordBytes = uint64_t{1024} * 1024;

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (size_t tab = line.find('\t'); tab != std::string_view::npos; tab = line.find('\t')) {
        fields.push_back(line.substr(0, tab));
        line.remove_prefix(tab + 1);
    }
    fields.push_back(line);
    return fields;
}

std::optional<int> Number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value <= 0) {
        return std::nullopt;
    }
    return value;
}

// The record: one line per port, "devpath devnode card role com card-number" separated by tabs.
// Read as a whole file of a bounded size that is never a pipe or a device: what lies in a root
// that a user can write must not stall or exhaust the publisher.
std::vector<PublishedPort> ReadRecord(const fs::path& file) {
    std::vector<PublishedPort> ports;
    const carvex::WholeFile record = carvex::ReadWholeFile(file, kMaxRecordBytes);
    for (const std::string_view line : Lines(record.content)) {
        const auto fields = Fields(line);
        if (fields.size() != 6) {
            continue;
        }
        const auto role = ParseRole(fields[3]);
        const auto com = Number(fields[4]);
        const auto card_number = Number(fields[5]);
        if (!role || *role == PortRole::kNone || !com || !card_number) {
            continue;
        }
        ports.push_back({std::string(fields[0]), std::string(fields[1]), std::string(fields[2]),
                         *role, *com, *card_number});
    }
    return ports;
}

std::string RecordText(const std::vector<PublishedPort>& ports) {
    std::ostringstream text;
    for (const PublishedPort& port : ports) {
        text << port.devpath << '\t' << port.devnode.string() << '\t' << port.card << '\t'
             << RoleName(port.role) << '\t' << port.com << '\t' << port.card_number << '\n';
    }
    return text.str();
}

// The ports of one role, as both lists order them: by card, then by COM number.
std::vector<const PublishedPort*> InListOrder(const std::vector<PublishedPort>& ports,
                                              PortRole role) {
    std::vector<const PublishedPort*> list;
    for (const PublishedPort& port : ports) {
        if (port.role == role) {
            list.push_back(&port);
        }
    }
    std::sort(list.begin(), list.end(), [](const PublishedPort* a, const PublishedPort* b) {
        return std::tie(a->card_number, a->com) < std::tie(b->card_number, b->com);
    });
    return list;
}

}  // namespace

std::string FriendlyName(const PublishedPort& port) {
    const std::string suffix =
        port.card_number > 1 ? " #" + std::to_string(port.card_number) : std::string();
    switch (port.role) {
        case PortRole::kPcUi:
            return std::string(carvex::kPcUiReference) + suffix + " (" + carvex::ComName(port.com) + ")";
        case PortRole::kModem:
            return std::string(carvex::kModemReference) + suffix;
        case PortRole::kNone:
            break;
    }
    return {};
}

std::string UsbDevicePath(const PublishedPort& port) {
    return "/sys" + port.card;
}

RootPublication::RootPublication(carvex::DeviceRoot root)
    : lock_(root),
      publisher_(std::move(root)),
      published_(ReadRecord(publisher_.Root().Path() / kRecordFileName)),
      ports_(published_) {}

int RootPublication::CardNumberFor(const std::string& card) const {
    for (const PublishedPort& port : ports_) {
        if (port.card == card) {
            return port.card_number;
        }
    }
    int number = 1;
    while (std::any_of(ports_.begin(), ports_.end(),
                       [&](const PublishedPort& port) { return port.card_number == number; })) {
        ++number;
    }
    return number;
}

void RootPublication::Put(PublishedPort port) {
    Remove(port.devpath);
    port.card_number = CardNumberFor(port.card);
    ports_.push_back(std::move(port));
}

bool RootPublication::Remove(std::string_view devpath) {
    return std::erase_if(ports_,
                         [&](const PublishedPort& port) { return port.devpath == devpath; }) > 0;
}

void RootPublication::ReplaceAll(std::vector<PublishedPort> ports) {
    // Cards that stay keep their numbers, so a second scan names them as the first did.
    std::vector<PublishedPort> newcomers;
    std::vector<PublishedPort> staying;
    for (PublishedPort& port : ports) {
        const auto before =
            std::find_if(ports_.begin(), ports_.end(),
                         [&](const PublishedPort& known) { return known.card == port.card; });
        if (before == ports_.end()) {
            newcomers.push_back(std::move(port));
        } else {
            port.card_number = before->card_number;
            staying.push_back(std::move(port));
        }
    }
    ports_ = std::move(staying);
    for (PublishedPort& port : newcomers) {
        Put(std::move(port));
    }
}

void RootPublication::Commit() {
    const fs::path record = publisher_.Root().Path() / kRecordFileName;
    std::error_code error;
    // A root published before the USB devices were: a change event completes it.
    const bool devices_published = std::all_of(ports_.begin(), ports_.end(), [&](const auto& port) {
        return fs::exists(publisher_.Root().UsbDeviceDirectory() / carvex::ComName(port.com),
                          error);
    });
    if (ports_ == published_ && fs::exists(record, error) && devices_published) {
        return;
    }
    for (const PublishedPort& port : ports_) {
        publisher_.PublishComPort(carvex::ComName(port.com), port.devnode);
        publisher_.PublishUsbDevice(carvex::ComName(port.com), UsbDevicePath(port));
    }

    std::vector<carvex::RegistrySubkey> modem_keys;
    std::vector<std::string> modem_names;
    for (const PublishedPort* modem : InListOrder(ports_, PortRole::kModem)) {
        std::string subkey = std::to_string(modem_keys.size());
        subkey.insert(0, subkey.size() < 4 ? 4 - subkey.size() : 0, '0');  // "0000", "0001", ...
        modem_keys.push_back(
            {subkey,
             {{"FriendlyName", FriendlyName(*modem)}, {"AttachedTo", carvex::ComName(modem->com)}}});
        modem_names.push_back(FriendlyName(*modem));
    }
    std::vector<std::string> port_names;
    for (const PublishedPort* pcui : InListOrder(ports_, PortRole::kPcUi)) {
        port_names.push_back(FriendlyName(*pcui));
    }
    publisher_.PublishRegistrySubkeys(carvex::kModemClassKey, modem_keys);
    publisher_.PublishDeviceList(carvex::DeviceClass::kModem, modem_names);
    publisher_.PublishDeviceList(carvex::DeviceClass::kPorts, port_names);
    carvex::WriteFileAtomically(record, RecordText(ports_));

    for (const PublishedPort& gone : published_) {
        const bool still_used =
            std::any_of(ports_.begin(), ports_.end(),
                        [&](const PublishedPort& p) { return p.com == gone.com; });
        if (!still_used) {
            publisher_.RemoveUsbDevice(carvex::ComName(gone.com));
            publisher_.RemoveComPort(carvex::ComName(gone.com));
        }
    }
    published_ = ports_;
}

}  // namespace carvexudev
