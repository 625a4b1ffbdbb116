#include "tools/carvexctl/cards_list.h"

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <string>

#include "cardwork/batch/batch_apply.h"
#include "cardwork/batch/card_workers.h"
#include "cardwork/card/card_reader.h"
#include "cardwork/card/connection_card.h"
#include "cardwork/model/imei.h"
#include "carvex/carvex.h"
#include "carvex/connection/card_connection.h"
#include "carvex/link/port_discovery.h"
#include "carvex/platform/modem_manager.h"
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

CardLine AskCard(const carvex::DeviceRoot& root, int port) {
    CardLine line;
    line.pcui = carvex::ComName(port);
    for (const carvex::DiagPortEntry& entry : carvex::ListDiagPorts(root)) {
        if (entry.com == port) {
            if (const auto modem = carvex::FindModemPortFor(root, entry.card_mark)) {
                line.modem = carvex::ComName(*modem);
            }
            break;
        }
    }
    const carvex::ModemManagerBorrow borrow(
        root, port, [&](const std::string& said) { line.borrowing = said; });
    cardwright::ConnectionCard card(root, port);
    if (!card.Open()) {
        line.failure = WhyNotOpened(root, port, card.Connection()).brief;
        return line;
    }
    const cardwright::CardIdentity identity = cardwright::ReadCardIdentity(card);
    line.answers = {identity.imei, identity.card_type, identity.firmware};
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
    std::vector<CardLine> lines(ports.size());
    cardwright::RunOnWorkers(ports.size(), 0,
                             [&](size_t i) { lines[i] = AskCard(root, ports[i]); });
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
