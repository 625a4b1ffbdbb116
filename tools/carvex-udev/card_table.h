#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace carvexudev {

// What a card's serial port is to the library: the PC UI interface (DIAG), the modem (AT), or
// neither.
enum class PortRole { kPcUi, kModem, kNone };

std::string_view RoleName(PortRole role);  // "pcui", "modem", "none"
std::optional<PortRole> ParseRole(std::string_view text);

// One interface of one USB device model.
struct UsbInterfaceId {
    uint16_t vendor = 0;
    uint16_t product = 0;
    uint8_t interface_number = 0;

    friend bool operator<(const UsbInterfaceId& a, const UsbInterfaceId& b) {
        return std::tie(a.vendor, a.product, a.interface_number) <
               std::tie(b.vendor, b.product, b.interface_number);
    }
};

// A hexadecimal number of 1 to `max_digits` digits, with or without "0x".
std::optional<unsigned> ParseHex(std::string_view text, size_t max_digits);

// "7e3b:abcd interface 02", as lsusb and sysfs write the numbers.
std::string Describe(const UsbInterfaceId& id);

// Problems found while reading configuration files, each "file:line: what is wrong".
using Problems = std::vector<std::string>;

// Which role each known interface has: lines "vendor product interface role", numbers in hex.
// Files are added in order; a later line for the same interface replaces an earlier one. Lines
// "pcui-name FORM" add a form of the PC UI interface's own name ("*" standing for any text).
class CardTable {
  public:
    // Lines that cannot be read are reported with their file and line number and skipped.
    void AddText(std::string_view text, const std::string& file_name, Problems& problems);
    // A file that is missing adds nothing; one that cannot be read is reported.
    void AddFile(const std::filesystem::path& path, Problems& problems);

    std::optional<PortRole> Find(const UsbInterfaceId& id) const;
    // Whether any line names an interface of this device model: a card we know.
    bool ListsDevice(uint16_t vendor, uint16_t product) const;
    size_t Size() const { return roles_.size(); }

    // Whether an interface's own name has the form of the card's PC UI interface: it ends in
    // "PC UI Interface", or matches a form of the table, ASCII letter case aside. A name that
    // merely mentions the words ("Diag (not a PC UI port)") has not.
    bool NamesPcUi(std::string_view interface_name) const;

  private:
    std::map<UsbInterfaceId, PortRole> roles_;
    std::vector<std::string> pcui_names_{"*PC UI Interface"};
};

}  // namespace carvexudev
