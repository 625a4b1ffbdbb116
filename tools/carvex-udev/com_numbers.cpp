#include "tools/carvex-udev/com_numbers.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <set>
#include <sstream>

#include "carvex/platform/device_publisher.h"
#include "carvex/platform/device_publisher_lock.h"
#include "carvex/platform/whole_file.h"
#include "tools/carvex-udev/text_lines.h"

namespace carvexudev {

namespace fs = std::filesystem;

namespace {

// Thousands of ports; a larger file is not one of ours.
constexpr uint64_t kMaxStateBytes = uint64_t{1024} * 1024;

// Lines that do not read as "COMn<TAB>key" are dropped; the numbers they held stay free.
std::map<std::string, int> ReadState(const fs::path& file) {
    std::map<std::string, int> numbers;
    const carvex::WholeFile state = carvex::ReadWholeFile(file, kMaxStateBytes);
    for (const std::string_view line : Lines(state.content)) {
        const size_t tab = line.find('\t');
        if (!line.starts_with("COM") || tab == std::string_view::npos || tab + 1 == line.size()) {
            continue;
        }
        int number = 0;
        const auto [end, error] = std::from_chars(line.data() + 3, line.data() + tab, number);
        if (error == std::errc{} && end == line.data() + tab && number > 0) {
            numbers.emplace(line.substr(tab + 1), number);
        }
    }
    return numbers;
}

}  // namespace

std::string PortKey(const UsbTty& tty) {
    char interface[4];
    std::snprintf(interface, sizeof interface, "%02x", tty.id.interface_number);
    std::string key =
        (tty.id_path.empty() ? "sysfs:" + tty.usb_device : tty.id_path) + "#" + interface;
    // One line per port in the state file.
    std::replace_if(
        key.begin(), key.end(), [](char c) { return c == '\t' || c == '\n'; }, '_');
    return key;
}

std::vector<int> ComNumbers::NumbersFor(std::span<const std::string> port_keys) const {
    carvex::PreparePublishingRoot(state_dir_);
    const carvex::DevicePublisherLock lock(state_dir_ / ".lock");
    const fs::path file = state_dir_ / kFileName;
    auto numbers = ReadState(file);
    std::set<int> taken;
    for (const auto& [key, number] : numbers) {
        taken.insert(number);
    }
    std::vector<int> result;
    bool changed = false;
    for (const std::string& key : port_keys) {
        auto it = numbers.find(key);
        if (it == numbers.end()) {
            int number = kFirstNumber;
            while (taken.contains(number)) {
                ++number;
            }
            taken.insert(number);
            it = numbers.emplace(key, number).first;
            changed = true;
        }
        result.push_back(it->second);
    }
    if (changed) {
        std::ostringstream text;
        for (const auto& [key, number] : numbers) {
            text << "COM" << number << '\t' << key << '\n';
        }
        carvex::WriteFileAtomically(file, text.str());
    }
    return result;
}

int ComNumbers::NumberFor(const std::string& port_key) const {
    return NumbersFor(std::span(&port_key, 1)).front();
}

std::map<std::string, int> ComNumbers::Assigned() const {
    return ReadState(state_dir_ / kFileName);
}

}  // namespace carvexudev
