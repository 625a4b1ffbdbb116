#include "tools/carvexctl/card_session.h"

#include <iostream>

#include "cardwork/card/connection_card.h"
#include "carvex/carvex.h"
#include "carvex/link/port_discovery.h"
#include "tools/carvexctl/ports_source.h"

namespace carvexctl {

CardSession::CardSession(std::optional<int> port)
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

std::string DescribeStatus(int32_t status, int item) {
    const std::string subject = item >= 0 ? "item " + std::to_string(item) : "the request";
    switch (status) {
        case CARVEX_STATUS_NOT_SENT:
            return "the request could not be written to the card";
        case CARVEX_STATUS_NO_REPLY:
            return "the card did not answer in time";
        case CARVEX_STATUS_NV_FAILED:
            return "the card could not process " + subject + " (NV status error)";
        case CARVEX_STATUS_READ_ONLY:
            return subject + " is read-only on the card (NV status 7)";
        case CARVEX_STATUS_INACTIVE:
            return subject + " is not active on the card (NV status 5)";
        case CARVEX_STATUS_BAD_PARAMETER:
            return "the card rejected " + subject + " as a bad parameter (NV status 6)";
        case CARVEX_STATUS_NV_FULL:
            return "the card's NV memory is full (NV status 3)";
        case CARVEX_STATUS_NO_MEMORY:
            return "the card is out of memory (NV status 9)";
        case CARVEX_STATUS_NOT_IN_BUILT_IN_TABLE:
            return "the card's version request is not in the built-in table";
        case CARVEX_STATUS_NOT_IN_CARD_TABLE:
            return "the card's version request is not in the card's table";
        default:
            return "request status " + std::to_string(status);
    }
}

void Progress(const std::string& text) {
    std::cerr << text << std::endl;
}

}  // namespace carvexctl
