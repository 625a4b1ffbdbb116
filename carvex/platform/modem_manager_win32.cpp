#include "carvex/platform/modem_manager.h"

namespace carvex {

// Windows has no ModemManager: a card's ports are its driver's alone.
class ModemManagerBorrow::Loan {};

ModemManagerBorrow::ModemManagerBorrow(const DeviceRoot& /*root*/, std::optional<int> /*port*/,
                                       ModemManagerMode /*mode*/, const Say& /*say*/) {}

ModemManagerBorrow::~ModemManagerBorrow() = default;

bool ModemManagerBorrow::Borrowed() const {
    return false;
}

ModemManagerView AskModemManager() {
    return {};
}

}  // namespace carvex
