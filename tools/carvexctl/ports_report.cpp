#include "tools/carvexctl/ports_report.h"

#include <algorithm>
#include <iomanip>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "carvex/link/port_discovery.h"
#include "carvex/platform/device_list.h"
#include "carvex/platform/registry.h"
#include "tools/carvex-udev/sysfs_tty.h"
#include "tools/carvex-udev/tty_classifier.h"
#include "tools/carvex-udev/udev_settings.h"

namespace carvexctl {

namespace fs = std::filesystem;

namespace {

struct Row {
    int index = 0;
    std::optional<std::string> name;  // nullopt: the name cannot be read
    std::optional<int> com;
    std::string role = "-";
    std::string note;
};

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// "(COM12)" in a Ports device's name.
std::optional<int> ComFromName(const std::string& name) {
    const size_t open = name.find("(COM");
    if (open == std::string::npos) {
        return std::nullopt;
    }
    int number = 0;
    size_t at = open + 4;
    for (; at < name.size() && name[at] >= '0' && name[at] <= '9'; ++at) {
        number = number * 10 + (name[at] - '0');
    }
    if (at == open + 4 || at >= name.size() || name[at] != ')') {
        return std::nullopt;
    }
    return number;
}

// The AttachedTo port of the modem class key whose FriendlyName is `name`.
std::optional<int> ComFromModemKey(const carvex::DeviceRoot& root, const std::string& name) {
    const auto class_key = carvex::RegistryKey::OpenLocalMachine(root, carvex::kModemClassKey);
    if (!class_key) {
        return std::nullopt;
    }
    for (const std::string& subkey_name : class_key->SubkeyNames()) {
        const auto subkey = carvex::RegistryKey::OpenLocalMachine(
            root, std::string(carvex::kModemClassKey) + "\\" + subkey_name);
        if (!subkey || subkey->ReadString("FriendlyName") != name) {
            continue;
        }
        const auto attached = subkey->ReadString("AttachedTo");
        if (attached && attached->starts_with("COM")) {
            return std::atoi(attached->c_str() + 3);
        }
    }
    return std::nullopt;
}

std::vector<Row> ReadClass(const carvex::DeviceRoot& root, carvex::DeviceClass device_class) {
    const carvex::DeviceList list(root, device_class);
    std::vector<Row> rows;
    for (int index = 0; list.Enumerate(index) == carvex::DeviceList::Entry::kPresent; ++index) {
        Row row;
        row.index = index;
        row.name = list.FriendlyName(index);
        if (row.name && device_class == carvex::DeviceClass::kPorts) {
            row.com = ComFromName(*row.name);
            if ((Contains(*row.name, carvex::kPcUiReference) ||
                 carvex::MatchFriendlyName(*row.name, carvex::kPcUiReference)) &&
                Contains(*row.name, "COM")) {
                row.role = "pcui";
            }
        } else if (row.name) {
            row.com = ComFromModemKey(root, *row.name);
            if (Contains(*row.name, carvex::kModemReference) ||
                Contains(*row.name, carvex::kModemSecondForm) ||
                carvex::MatchFriendlyName(*row.name, carvex::kModemReference)) {
                row.role = "modem";
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// What com/COMn points to, and whether it is still there.
std::string TtyOf(const carvex::DeviceRoot& root, std::optional<int> com) {
    if (!com) {
        return "-";
    }
    const fs::path link = root.ComDirectory() / ("COM" + std::to_string(*com));
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    if (error) {
        return "(no com/COM" + std::to_string(*com) + ")";
    }
    return fs::exists(link, error) ? target.string() : target.string() + " (gone)";
}

// Marks the first row whose role and COM number are what the library's search found.
void Mark(std::vector<Row>& rows, const std::string& role, std::optional<int> com,
          const std::string& note) {
    for (Row& row : rows) {
        if (row.role == role && com && row.com == com) {
            row.note = note;
            return;
        }
    }
}

void PrintClass(std::ostream& out, const carvex::DeviceRoot& root, const char* title,
                const std::vector<Row>& rows) {
    out << title << ":\n";
    if (rows.empty()) {
        out << "  (none)\n";
        return;
    }
    for (const Row& row : rows) {
        const std::string com = row.com ? "COM" + std::to_string(*row.com) : "-";
        out << "  " << row.index << "  " << std::left << std::setw(6) << com << " " << std::setw(14)
            << TtyOf(root, row.com) << " " << std::setw(6) << row.role << " "
            << (row.name ? "\"" + *row.name + "\"" : "(name cannot be read)");
        if (!row.note.empty()) {
            out << "  <- " << row.note;
        }
        out << "\n";
    }
}

// The USB ttys of this machine that the root does not point to.
void PrintUnpublished(std::ostream& out, const carvex::DeviceRoot& root) {
    carvexudev::Problems problems;
    const auto settings = carvexudev::LoadSettings(carvexudev::ProgramDirectory(), problems);
    const auto table = carvexudev::LoadCardTable(settings, problems);

    std::set<fs::path> published;
    std::error_code error;
    for (fs::directory_iterator it(root.ComDirectory(), error), end; !error && it != end;
         it.increment(error)) {
        std::error_code link_error;
        const fs::path target = fs::read_symlink(it->path(), link_error);
        if (!link_error) {
            published.insert(target.lexically_normal());
        }
    }

    out << "\nUSB serial ports not published (" << (settings.sysfs / "class" / "tty").string()
        << "):\n";
    int count = 0;
    for (auto& entry : carvexudev::ListTtys(settings.sysfs)) {
        if (!entry.usb) {
            continue;
        }
        carvexudev::UsbTty& tty = *entry.usb;
        if (published.contains(tty.devnode.lexically_normal())) {
            continue;
        }
        if (tty.major >= 0 && tty.minor >= 0) {
            carvexudev::ApplyUdevProperties(
                carvexudev::PropertiesFromDatabase(settings.udev_data, tty.major, tty.minor), tty);
        }
        const auto classification = carvexudev::Classify(table, tty);
        out << "  " << tty.name << " (" << tty.devnode.string() << ", "
            << carvexudev::Describe(tty.id) << "): ";
        if (classification.role == carvexudev::PortRole::kNone) {
            out << classification.why << "\n";
        } else {
            out << "a " << carvexudev::RoleName(classification.role) << " port ("
                << classification.why
                << ") that is not in this device root: install the udev rule, or run "
                   "carvex-udev --scan with CARVEX_ROOT="
                << root.Path().string() << "\n";
        }
        ++count;
    }
    if (count == 0) {
        out << "  (none)\n";
    }
    for (const std::string& problem : problems) {
        out << "card table or settings: " << problem << " (skipped)\n";
    }
}

}  // namespace

void PrintPorts(std::ostream& out, const carvex::DeviceRoot& root, bool why) {
    std::vector<Row> ports = ReadClass(root, carvex::DeviceClass::kPorts);
    std::vector<Row> modems = ReadClass(root, carvex::DeviceClass::kModem);
    const auto diag_port = carvex::FindDiagPort(root);
    const auto modem_port = carvex::FindModemPort(root);
    Mark(ports, "pcui", diag_port, "InitCommPort opens this one");
    Mark(modems, "modem", modem_port, "the board-type query asks this one");

    out << "Device root " << root.Path().string() << "\n";
    std::error_code error;
    if (!fs::exists(root.Path(), error)) {
        out << "It does not exist: with a real card, install the udev rule or run carvex-udev "
               "--scan.\n";
    }
    PrintClass(out, root, "Ports", ports);
    PrintClass(out, root, "Modem", modems);
    if (!diag_port) {
        out << "No PC UI interface: InitCommPort finds no card.\n";
    }
    if (!modem_port) {
        out << "No modem with a modem class key: the board-type query falls back to DIAG.\n";
    }
    if (why) {
        PrintUnpublished(out, root);
    }
}

}  // namespace carvexctl
