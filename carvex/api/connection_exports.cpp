#include <algorithm>
#include <cstring>

#include "carvex/api/connection_pointer.h"
#include "carvex/carvex.h"
#include "carvex/link/at_port.h"

namespace carvex {

std::unique_ptr<MainControl> g_pMainControl;

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
        // The previous connection goes first: its port and receiving thread must not linger.
        g_pMainControl.reset();
        g_pMainControl = std::make_unique<MainControl>(root);
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
    // Destroying the connection closes its port and ends its receiving thread.
    g_pMainControl.reset();
    return 1;
}

extern "C" CARVEX_API int32_t CARVEX_CALL CarvexItem(int32_t item, const uint8_t* data,
                                                     uint32_t length) {
    NvItemPacket packet(NvItemPacket::kWrite, ItemNumber(item));
    return RunExchange(nullptr, [&](MainControl& connection) {
        if (length > NvItemPacket::kDataSize) {
            return false;
        }
        if (length > 0 && data != nullptr) {
            std::memcpy(packet.Data().data(), data, length);
        }
        int32_t status = 0;
        return connection.NvRequest(packet, &status);
    });
}

extern "C" CARVEX_API int32_t CARVEX_CALL ReadNvItem(int32_t item, uint8_t* buffer, int32_t length,
                                                     int32_t* status) {
    NvItemPacket packet(NvItemPacket::kRead, ItemNumber(item));
    int32_t ignored = 0;
    int32_t* const status_out = status != nullptr ? status : &ignored;
    return RunExchange(status_out, [&](MainControl& connection) {
        if (!connection.NvRequest(packet, status_out)) {
            return false;
        }
        // Only 128 data bytes exist in a reply.
        const auto count =
            static_cast<size_t>(std::clamp<int32_t>(length, 0, NvItemPacket::kDataSize));
        if (count > 0 && buffer != nullptr) {
            std::memcpy(buffer, packet.Data().data(), count);
        }
        return true;
    });
}
