#include "tools/carvexctl/card_session.h"

#include <iostream>

#include "carvex/carvex.h"
#include "carvex/link/port_discovery.h"
#include "carvex/platform/device_root.h"
#include "carvex/platform/port_diagnosis.h"
#include "tools/carvexctl/ports_source.h"

namespace carvexctl {

CardSession::CardSession() {
    const auto root = carvex::DeviceRoot::FromEnvironment();
    const auto port = carvex::FindDiagPort(root);
    if (!port) {
        throw Failure(carvex::ExplainUnopenableCard(root).sentence + NoCardHint(root));
    }
    Progress("Opening the card on COM" + std::to_string(*port) + " and switching it to DIAG...");
    if (InitCommPort() != 1) {
        CloseCommPort();
        throw Failure("the card's PC UI interface cannot be used: " +
                      carvex::ExplainUnopenablePort(root, *port).sentence);
    }
}

CardSession::~CardSession() {
    CloseCommPort();
}

std::string DescribeStatus(int32_t status, int item) {
    const std::string subject = item >= 0 ? "item " + std::to_string(item) : "the request";
    switch (status) {
        case 0:
            return "the request could not be written to the card";
        case 1:
            return "the card did not answer in time";
        case 3:
            return "the card could not process " + subject + " (NV status error)";
        case 4:
            return subject + " is read-only on the card (NV status 7)";
        case 5:
            return subject + " is not active on the card (NV status 5)";
        case 6:
            return "the card rejected " + subject + " as a bad parameter (NV status 6)";
        case 7:
            return "the card's NV memory is full (NV status 3)";
        case 8:
            return "the card is out of memory (NV status 9)";
        case 38:
            return "the card's version request is not in the built-in table";
        case 39:
            return "the card's version request is not in the card's table";
        default:
            return "request status " + std::to_string(status);
    }
}

void Progress(const std::string& text) {
    std::cerr << text << std::endl;
}

}  // namespace carvexctl
