#include "cardwork/presenter/modem_manager_lender.h"

#include <optional>

#include "carvex/platform/device_root.h"
#include "carvex/platform/modem_manager.h"

namespace cardwright {

CardLender ModemManagerLender() {
    return [](const std::function<void(const std::string&)>& say) -> std::shared_ptr<const void> {
        // The library opens the first card of the root; the same one is borrowed.
        return std::make_shared<const carvex::ModemManagerBorrow>(
            carvex::DeviceRoot::FromEnvironment(), std::nullopt, say);
    };
}

}  // namespace cardwright
