#include <algorithm>
#include <cstring>

#include "carvex/api/run_exchange.h"
#include "carvex/carvex.h"
#include "carvex/connection/card_operations.h"
#include "carvex/link/at_port.h"
#include "carvex/platform/process.h"

namespace carvex {

constinit ConnectionPointer g_pMainControl;

ConnectionPointer::~ConnectionPointer() {
    if (!connection_) {
        return;
    }
    if (CurrentProcessId() != owner_) {
        // A child made by fork() that exits: the receiving thread and the port belong to the
        // parent, which still uses them. The system closes the child's copies.
        static_cast<void>(connection_.release());
        return;
    }
    connection_->Release();
}

void ConnectionPointer::reset(std::unique_ptr<MainControl> next) {
    // The old connection goes first: its port and receiving thread must not linger. Its close
    // runs here rather than in its destructor, where a failure could not be reported.
    if (connection_) {
        connection_->ClosePort();
    }
    connection_ = std::move(next);
    owner_ = CurrentProcessId();
}

namespace {

constexpr uint16_t ItemNumber(int item) {
    return static_cast<uint16_t>(static_cast<uint32_t>(item) & 0xFFFF);
}

}  // namespace

}  // namespace carvex

using namespace carvex;

extern "C" CARVEX_API int32_t CARVEX_CALL InitCommPort(void) {
    try {
        const DeviceRoot root = DeviceRoot::FromEnvironment();
        AtPort discovery(root);
        g_pMainControl.reset(std::make_unique<MainControl>(root));
        int port = 0;
        int spare = 0;
        if (!discovery.FindDiagPortNumber(&port, &spare)) {
            return 0;
        }
        return g_pMainControl->OpenInDiagMode(port) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

extern "C" CARVEX_API int32_t CARVEX_CALL CloseCommPort(void) {
    try {
        // Destroying the connection closes its port and ends its receiving thread.
        g_pMainControl.reset();
    } catch (...) {
    }
    return 1;
}

extern "C" CARVEX_API int32_t CARVEX_CALL CarvexItem(int32_t item, const uint8_t* data,
                                                     uint32_t length) {
    if (data == nullptr && length > 0) {
        return 0;  // never a caller's mistake written to the card as zeros
    }
    return RunExchange(nullptr, [&](MainControl& connection) {
        if (length > NvItemPacket::kDataSize) {
            return false;
        }
        return WriteItem(connection, ItemNumber(item),
                         std::span<const uint8_t>(data, data != nullptr ? length : 0));
    });
}

extern "C" CARVEX_API int32_t CARVEX_CALL ReadNvItem(int32_t item, uint8_t* buffer, int32_t length,
                                                     int32_t* status) {
    if (buffer == nullptr) {
        return RefuseNullPointer(status);
    }
    // Only 128 data bytes exist in a reply; a negative length copies none.
    const auto count = static_cast<size_t>(std::clamp<int32_t>(length, 0, NvItemPacket::kDataSize));
    return RunExchange(status, [&](MainControl& connection) {
        return ReadItem(connection, ItemNumber(item), std::span(buffer, count), status);
    });
}
