#include "tools/carvexctl/ports_report.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "carvex/link/port_discovery.h"
#include "carvex/platform/device_list.h"
#include "carvex/platform/printable_text.h"
#include "carvex/platform/registry.h"
#include "tools/carvexctl/modem_manager_report.h"
#include "tools/carvexctl/ports_source.h"

namespace carvexctl {

using carvex::PrintableText;

namespace {

enum class Role { kNone, kPcUi, kModem };

struct Row {
    int index = 0;
    std::optional<std::string> name;  // nullopt: the name cannot be read
    std::optional<int> com;
    Role role = Role::kNone;
    std::string note;
};

// A printed row: the aligned columns (index, COM port, tty, role), then the name and notes.
// Every text is already printable, so its width is its length.
struct Cells {
    std::array<std::string, 4> columns;
    std::string rest;
};

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string RoleWords(Role role) {
    switch (role) {
        case Role::kPcUi:
            return "PC UI";
        case Role::kModem:
            return "modem";
        case Role::kNone:
            break;
    }
    return "-";
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

// The COM port the registry's modem entry of this name is attached to.
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
                row.role = Role::kPcUi;
            }
        } else if (row.name) {
            row.com = ComFromModemKey(root, *row.name);
            if (Contains(*row.name, carvex::kModemReference) ||
                Contains(*row.name, carvex::kModemSecondForm) ||
                carvex::MatchFriendlyName(*row.name, carvex::kModemReference)) {
                row.role = Role::kModem;
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// Marks the first row whose role and COM number are what the library's search found.
void Mark(std::vector<Row>& rows, Role role, std::optional<int> com, const std::string& note) {
    for (Row& row : rows) {
        if (row.role == role && com && row.com == com) {
            row.note = note;
            return;
        }
    }
}

// The row's cells: where its COM port leads, and who else has it open where that can be told.
Cells CellsOf(const carvex::DeviceRoot& root, const Row& row) {
    const std::string com = row.com ? carvex::ComName(*row.com) : "-";
    Cells cells{{std::to_string(row.index), com, "-", RoleWords(row.role)}, {}};
    cells.rest = row.name ? "\"" + PrintableText(*row.name) + "\"" : "(name cannot be read)";
    if (!row.note.empty()) {
        cells.rest += "  <- " + row.note;
    }
    if (!row.com) {
        return cells;
    }
    const PortPlace place = PlaceOf(root, *row.com);
    cells.columns[2] = !place.tty   ? std::string("not published")
                       : place.gone ? PrintableText(*place.tty) + " (gone)"
                                    : PrintableText(*place.tty);
    if (!place.users.empty()) {
        cells.rest += "  [busy: in use by " + PrintableText(place.users) + "]";
    }
    return cells;
}

// A row as an object: the same as its cells, each text as the system gives it.
cardwright::Json RowJson(const carvex::DeviceRoot& root, const Row& row) {
    using cardwright::Json;
    const PortPlace place = row.com ? PlaceOf(root, *row.com) : PortPlace{};
    const char* role = row.role == Role::kPcUi ? "pc_ui" : row.role == Role::kModem ? "modem" : "";
    return {{"index", row.index},
            {"com", row.com ? Json(carvex::ComName(*row.com)) : Json()},
            {"tty", place.tty ? Json(*place.tty) : Json()},
            {"gone", place.gone},
            {"busy", cardwright::TextOrNull(place.users)},
            {"role", cardwright::TextOrNull(role)},
            {"name", row.name ? Json(*row.name) : Json()}};
}

// Both classes in columns as wide as their widest cell, so a longer tty ("(gone)") keeps them
// aligned.
void PrintClasses(std::ostream& out,
                  const std::vector<std::pair<const char*, std::vector<Cells>>>& classes) {
    const Cells heading{{"#", "COM", "tty", "role"}, "name"};
    std::array<size_t, 4> widths{};
    for (size_t column = 0; column < widths.size(); ++column) {
        widths[column] = heading.columns[column].size();
        for (const auto& [title, rows] : classes) {
            for (const Cells& cells : rows) {
                widths[column] = std::max(widths[column], cells.columns[column].size());
            }
        }
    }
    const auto line = [&](const Cells& cells) {
        out << " ";
        for (size_t column = 0; column < widths.size(); ++column) {
            const std::string& text = cells.columns[column];
            out << " " << text << std::string(widths[column] - text.size() + 1, ' ');
        }
        out << " " << cells.rest << "\n";
    };
    for (const auto& [title, rows] : classes) {
        out << title << ":\n";
        if (rows.empty()) {
            out << "  (none)\n";
            continue;
        }
        line(heading);
        for (const Cells& cells : rows) {
            line(cells);
        }
    }
}

}  // namespace

void PrintPorts(std::ostream& out, const carvex::DeviceRoot& root, bool why, bool json) {
    std::vector<Row> ports = ReadClass(root, carvex::DeviceClass::kPorts);
    std::vector<Row> modems = ReadClass(root, carvex::DeviceClass::kModem);
    const auto diag_port = carvex::FindDiagPort(root);
    const auto modem_port = carvex::FindModemPort(root);
    if (json) {
        using cardwright::Json;
        Json document = Json::object();
        PutSourceJson(document, root);
        for (const auto& [name, rows] :
             {std::pair{"ports", &ports}, std::pair{"modems", &modems}}) {
            Json& list = document[name] = Json::array();
            for (const Row& row : *rows) {
                list.push_back(RowJson(root, row));
            }
        }
        document["pc_ui_port"] = diag_port ? Json(carvex::ComName(*diag_port)) : Json();
        document["modem_port"] = modem_port ? Json(carvex::ComName(*modem_port)) : Json();
        document["modem_manager"] = ModemManagerJson(root);
        document["unpublished"] = why ? UnlistedJson(root) : Json();
        cardwright::PrintJsonDocument(out, document);
        return;
    }
    Mark(ports, Role::kPcUi, diag_port, "the configurator uses this port");
    Mark(modems, Role::kModem, modem_port, "the model is asked on this port");

    PrintSource(out, root);
    std::vector<std::pair<const char*, std::vector<Cells>>> classes = {{"Ports", {}},
                                                                       {"Modem", {}}};
    for (const Row& row : ports) {
        classes[0].second.push_back(CellsOf(root, row));
    }
    for (const Row& row : modems) {
        classes[1].second.push_back(CellsOf(root, row));
    }
    PrintClasses(out, classes);
    if (!diag_port) {
        out << "No PC UI interface among the ports: no card found.\n";
    }
    if (!modem_port) {
        out << "No modem whose COM port is known: the model is asked over DIAG instead.\n";
    }
    PrintModemManager(out, root);
    if (why) {
        PrintUnlisted(out, root);
    }
}

}  // namespace carvexctl
