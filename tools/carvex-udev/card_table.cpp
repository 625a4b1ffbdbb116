#include "tools/carvex-udev/card_table.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <system_error>

#include "carvex/platform/ascii_case.h"
#include "carvex/platform/whole_file.h"
#include "tools/carvex-udev/text_lines.h"

namespace carvexudev {

namespace {

// Far more than any table of cards needs; a larger file is not read.
constexpr uint64_t kMaxFileBytes = uint64_t{1024} * 1024;

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

constexpr std::string_view kPcUiNameWord = "pcui-name";

// Whether `name` matches `form` whole, "*" in the form standing for any text, ASCII letter case
// aside.
bool MatchesForm(std::string_view name, std::string_view form) {
    const auto same = [](char a, char b) { return carvex::AsciiUpper(a) == carvex::AsciiUpper(b); };
    // The last "*" seen and where in the name its text ends so far: on a mismatch it takes one
    // more character.
    size_t star = std::string_view::npos;
    size_t resume = 0;
    size_t f = 0;
    size_t n = 0;
    while (n < name.size()) {
        if (f < form.size() && form[f] == '*') {
            star = f++;
            resume = n;
        } else if (f < form.size() && same(form[f], name[n])) {
            ++f;
            ++n;
        } else if (star != std::string_view::npos) {
            f = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (f < form.size() && form[f] == '*') {
        ++f;
    }
    return f == form.size();
}

// The text of a line after its first word, without the comment and the blanks around it.
std::string_view AfterFirstWord(std::string_view line, std::string_view word) {
    line = line.substr(0, line.find('#'));
    line.remove_prefix(line.find(word) + word.size());
    const size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) {
        return {};
    }
    return line.substr(start, line.find_last_not_of(" \t\r") - start + 1);
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
    for (const std::string_view line : Lines(text)) {
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
        if (words.front() == kPcUiNameWord) {
            const std::string_view form = AfterFirstWord(line, kPcUiNameWord);
            if (form.empty()) {
                report("\"pcui-name\" needs the form of a name, such as \"* PC UI Port\"");
            } else {
                pcui_names_.emplace_back(form);
            }
            continue;
        }
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
    const carvex::WholeFile file = carvex::ReadWholeFile(path, kMaxFileBytes);
    if (file.stamp.kind == carvex::FileStamp::Kind::kMissing) {
        return;
    }
    if (file.stamp.kind != carvex::FileStamp::Kind::kFile || file.error) {
        problems.push_back(path.string() + ": cannot be read" +
                           (file.error ? " (" + file.error.message() + ")" : ""));
        return;
    }
    AddText(file.content, path.string(), problems);
}

std::optional<PortRole> CardTable::Find(const UsbInterfaceId& id) const {
    const auto it = roles_.find(id);
    if (it == roles_.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool CardTable::ListsDevice(uint16_t vendor, uint16_t product) const {
    const auto first = roles_.lower_bound(UsbInterfaceId{vendor, product, 0});
    return first != roles_.end() && first->first.vendor == vendor &&
           first->first.product == product;
}

bool CardTable::NamesPcUi(std::string_view interface_name) const {
    return std::any_of(pcui_names_.begin(), pcui_names_.end(),
                       [&](const std::string& form) { return MatchesForm(interface_name, form); });
}

}  // namespace carvexudev
