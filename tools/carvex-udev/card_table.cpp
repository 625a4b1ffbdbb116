#include "tools/carvex-udev/card_table.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

namespace carvexudev {

namespace {

// Whitespace-separated words of a line, without the comment that "#" starts.
std::vector<std::string_view> Words(std::string_view line) {
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < line.size()) {
        at = line.find_first_not_of(" \t\r", at);
        if (at == std::string_view::npos) {
            break;
        }
        const size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

}  // namespace

std::optional<unsigned> ParseHex(std::string_view text, size_t max_digits) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || text.size() > max_digits || error != std::errc{} ||
        end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string_view RoleName(PortRole role) {
    switch (role) {
        case PortRole::kPcUi:
            return "pcui";
        case PortRole::kModem:
            return "modem";
        case PortRole::kNone:
            break;
    }
    return "none";
}

std::optional<PortRole> ParseRole(std::string_view text) {
    for (PortRole role : {PortRole::kPcUi, PortRole::kModem, PortRole::kNone}) {
        if (text == RoleName(role)) {
            return role;
        }
    }
    return std::nullopt;
}

std::string Describe(const UsbInterfaceId& id) {
    char text[40];
    std::snprintf(text, sizeof text, "%04x:%04x interface %02x", id.vendor, id.product,
                  id.interface_number);
    return text;
}

void CardTable::AddText(std::string_view text, const std::string& file_name, Problems& problems) {
    int line_number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++line_number;

        const auto words = Words(line);
        if (words.empty()) {
            continue;
        }
        const auto report = [&](const std::string& what) {
            std::string problem = file_name;
            problem += ":" + std::to_string(line_number) + ": ";
            problems.push_back(problem + what);
        };
        if (words.size() != 4) {
            report("expected \"vendor product interface role\", found " +
                   std::to_string(words.size()) + " fields");
            continue;
        }
        const auto vendor = ParseHex(words[0], 4);
        const auto product = ParseHex(words[1], 4);
        const auto interface_number = ParseHex(words[2], 2);
        const auto role = ParseRole(words[3]);
        if (!vendor || !product) {
            report("the vendor and product ids are hex numbers of up to 4 digits");
        } else if (!interface_number) {
            report("the interface number is a hex number of up to 2 digits");
        } else if (!role) {
            report("unknown role \"" + std::string(words[3]) + "\" (pcui, modem or none)");
        } else {
            roles_[UsbInterfaceId{static_cast<uint16_t>(*vendor), static_cast<uint16_t>(*product),
                                  static_cast<uint8_t>(*interface_number)}] = *role;
        }
    }
}

void CardTable::AddFile(const std::filesystem::path& path, Problems& problems) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        problems.push_back(path.string() + ": cannot be read");
        return;
    }
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    AddText(text, path.string(), problems);
}

std::optional<PortRole> CardTable::Find(const UsbInterfaceId& id) const {
    const auto it = roles_.find(id);
    if (it == roles_.end()) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace carvexudev
