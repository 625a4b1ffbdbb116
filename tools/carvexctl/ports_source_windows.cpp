#include <string>

#include "tools/carvexctl/ports_source.h"

namespace carvexctl {

std::string WhereCardsAreFound() {
    return "The card is found among the serial ports Windows lists, by its driver's names.";
}

void PrintSource(std::ostream& out, const carvex::DeviceRoot& /*root*/) {
    out << "Present devices of the Ports and Modem classes, as the setup API lists them\n";
}

void PutSourceJson(cardwright::Json& document, const carvex::DeviceRoot& /*root*/) {
    document["device_root"] = nullptr;
    document["device_root_exists"] = nullptr;
}

// Windows opens the port by its name; which program holds it, it does not tell.
PortPlace PlaceOf(const carvex::DeviceRoot& /*root*/, int com) {
    return {carvex::ComDevicePath(com), false, {}};
}

void PrintUnlisted(std::ostream& out, const carvex::DeviceRoot& /*root*/) {
    out << "\nWindows lists every present device above: a card that is plugged in but missing "
           "there has no driver installed (see the Device Manager).\n";
}

cardwright::Json UnlistedJson(const carvex::DeviceRoot& /*root*/) {
    return {{"sysfs", nullptr},
            {"ports", cardwright::Json::array()},
            {"problems", cardwright::Json::array()}};
}

std::string NoCardHint(const carvex::DeviceRoot& /*root*/) {
    return "; is the card plugged in and its driver installed? \"carvexctl ports\" lists what "
           "Windows has";
}

}  // namespace carvexctl
