#include "tools/carvexctl/cards_list.h"

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <string>

#include "cardwork/batch/batch_apply.h"
#include "cardwork/batch/card_census.h"
#include "carvex/link/port_discovery.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/command_card.h"

namespace carvexctl {

namespace {

struct CardLine {
    std::string pcui;
    std::string modem = "-";
    std::optional<std::array<std::string, 3>> answers;  // IMEI, model, firmware
    std::string failure;
    std::string borrowing;  // what borrowing the card from ModemManager came to, if anything
};

std::string Known(const std::string& text) {
    return text.empty() ? std::string("-") : text;
}

// The COM port of the card's modem, beside its PC UI interface on COM`port`.
std::string ModemOf(const carvex::DeviceRoot& root, int port) {
    for (const carvex::DiagPortEntry& entry : carvex::ListDiagPorts(root)) {
        if (entry.com == port) {
            if (const auto modem = carvex::FindModemPortFor(root, entry.card_mark)) {
                return carvex::ComName(*modem);
            }
            break;
        }
    }
    return "-";
}

CardLine LineOf(const carvex::DeviceRoot& root, const cardwright::CardAnswer& answer) {
    CardLine line;
    line.pcui = carvex::ComName(answer.port);
    line.modem = ModemOf(root, answer.port);
    line.borrowing = answer.borrowing;
    if (answer.identity) {
        line.answers = {Known(answer.identity->imei), Known(answer.identity->card_type),
                        Known(answer.identity->firmware)};
    } else {
        line.failure = answer.trouble;
    }
    return line;
}

}  // namespace

bool PrintCards(std::ostream& out, const carvex::DeviceRoot& root, const std::vector<int>& named) {
    const std::vector<int> ports = cardwright::CardsToWork(root, named);
    if (ports.empty()) {
        out << "No card found in the device root " << carvex::PrintableText(root.Path().string())
            << ": no PC UI interface among the serial ports.\n";
        return false;
    }
    Progress("Asking " + std::to_string(ports.size()) +
             (ports.size() == 1 ? " card..." : " cards at once..."));
    std::vector<CardLine> lines;
    for (const cardwright::CardAnswer& answer : cardwright::AskCards(root, ports)) {
        lines.push_back(LineOf(root, answer));
    }
    // Once each: without ModemManager every card says the same.
    std::set<std::string> said;
    for (const CardLine& line : lines) {
        if (!line.borrowing.empty() && said.insert(line.borrowing).second) {
            Progress(line.borrowing);
        }
    }

    std::vector<std::array<std::string, 5>> table{{"PC UI", "MODEM", "IMEI", "MODEL", "FIRMWARE"}};
    for (const CardLine& line : lines) {
        if (line.answers) {
            table.push_back({line.pcui, line.modem, (*line.answers)[0], (*line.answers)[1],
                             (*line.answers)[2]});
        } else {
            table.push_back({line.pcui, line.modem, line.failure, "", ""});
        }
    }
    std::array<size_t, 5> widths{};
    for (const auto& row : table) {
        // A failure spans the answers' columns.
        const size_t columns = row[3].empty() && &row != &table.front() ? 2 : 5;
        for (size_t i = 0; i < columns; ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    for (const auto& row : table) {
        std::string text;
        for (size_t i = 0; i < row.size(); ++i) {
            text += row[i];
            if (i + 1 < row.size() && !row[i + 1].empty()) {
                text += std::string(widths[i] - std::min(widths[i], row[i].size()) + 2, ' ');
            }
        }
        out << text << "\n";
    }
    return std::all_of(lines.begin(), lines.end(),
                       [](const CardLine& line) { return line.answers.has_value(); });
}

}  // namespace carvexctl
