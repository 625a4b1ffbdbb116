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
#include "tools/carvexctl/json_output.h"

namespace carvexctl {

namespace {

struct CardLine {
    std::string pcui;
    std::string modem;                                  // empty: none found
    std::optional<std::array<std::string, 3>> answers;  // IMEI, model, firmware; empty: not told
    std::string failure;
    std::string borrowing;  // what borrowing the card from ModemManager came to, if anything
};

std::string Known(const std::string& text) {
    return text.empty() ? std::string("-") : text;
}

// The COM port of the card's modem (empty: none found), beside its PC UI interface on COM`port`.
std::string ModemOf(const carvex::DeviceRoot& root, int port) {
    for (const carvex::DiagPortEntry& entry : carvex::ListDiagPorts(root)) {
        if (entry.com == port) {
            if (const auto modem = carvex::FindModemPortFor(root, entry.card_mark)) {
                return carvex::ComName(*modem);
            }
            break;
        }
    }
    return {};
}

CardLine LineOf(const carvex::DeviceRoot& root, const cardwright::CardAnswer& answer) {
    CardLine line;
    line.pcui = carvex::ComName(answer.port);
    line.modem = ModemOf(root, answer.port);
    line.borrowing = answer.borrowing;
    if (answer.identity) {
        line.answers = {answer.identity->imei, answer.identity->card_type,
                        answer.identity->firmware};
    } else {
        line.failure = answer.trouble;
    }
    return line;
}

// A card as an object: its ports, and what it answered or why it could not be asked.
Json CardsJson(const std::vector<CardLine>& lines) {
    Json cards = Json::array();
    for (const CardLine& line : lines) {
        const auto answer = [&line](size_t which) {
            return line.answers ? TextOrNull((*line.answers)[which]) : Json(nullptr);
        };
        cards.push_back({{"port", line.pcui},
                         {"modem_port", TextOrNull(line.modem)},
                         {"imei", answer(0)},
                         {"model", answer(1)},
                         {"firmware", answer(2)},
                         {"error", TextOrNull(line.failure)}});
    }
    return cards;
}

}  // namespace

bool PrintCards(std::ostream& out, const carvex::DeviceRoot& root, const std::vector<int>& named,
                bool json) {
    const std::vector<int> ports = cardwright::CardsToWork(root, named);
    if (ports.empty()) {
        const std::string none = "No card found in the device root " +
                                 carvex::PrintableText(root.Path().string()) +
                                 ": no PC UI interface among the serial ports.";
        if (json) {
            // The list is empty; why goes where errors go.
            cardwright::PrintJsonDocument(out, Json::array());
            Progress(none);
        } else {
            out << none << "\n";
        }
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
    const bool all_answered = std::all_of(
        lines.begin(), lines.end(), [](const CardLine& line) { return line.answers.has_value(); });
    if (json) {
        cardwright::PrintJsonDocument(out, CardsJson(lines));
        return all_answered;
    }

    std::vector<std::array<std::string, 5>> table{{"PC UI", "MODEM", "IMEI", "MODEL", "FIRMWARE"}};
    for (const CardLine& line : lines) {
        if (line.answers) {
            table.push_back({line.pcui, Known(line.modem), Known((*line.answers)[0]),
                             Known((*line.answers)[1]), Known((*line.answers)[2])});
        } else {
            table.push_back({line.pcui, Known(line.modem), line.failure, "", ""});
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
    return all_answered;
}

}  // namespace carvexctl
