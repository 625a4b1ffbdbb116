#include "tools/carvexctl/command_card.h"

#include <iostream>

#include "cardwork/card/connection_card.h"
#include "carvex/link/port_discovery.h"
#include "tools/carvexctl/ports_source.h"

namespace carvexctl {

CommandCard::CommandCard(std::optional<int> port)
    : borrow_(carvex::DeviceRoot::FromEnvironment(), port, Progress),
      card_(carvex::DeviceRoot::FromEnvironment()) {
    const carvex::DeviceRoot root = carvex::DeviceRoot::FromEnvironment();
    for (const carvex::DiagPortEntry& entry : carvex::ListDiagPorts(root)) {
        if (!port || entry.com == *port) {
            Progress("Opening the card on " + carvex::ComName(entry.com) +
                     " and switching it to DIAG...");
            break;
        }
    }
    if (!card_.Open(port)) {
        throw Failure(WhyNotOpened(root, port, card_).sentence);
    }
}

carvex::PortDiagnosis WhyNotOpened(const carvex::DeviceRoot& root, std::optional<int> port,
                                   const carvex::CardConnection& connection) {
    carvex::PortDiagnosis diagnosis = cardwright::WhyNotOpened(root, port, connection);
    // No card was found: where to look next.
    if (!connection.Port()) {
        diagnosis.sentence += NoCardHint(root);
    }
    return diagnosis;
}

void Progress(const std::string& text) {
    std::cerr << text << std::endl;
}

}  // namespace carvexctl
