#include "carvex/connection/card_operations.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "carvex/connection/card_control.h"
#include "carvex/connection/identity_queries.h"
#include "carvex/link/at_port.h"
#include "carvex/link/port_discovery.h"
#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"

namespace carvex {

bool ReadItem(MainControl& connection, uint16_t item, std::span<uint8_t> buffer, int32_t* status) {
    NvItemPacket packet(NvItemPacket::kRead, item);
    int32_t ignored = 0;
    if (!connection.NvRequest(packet, status != nullptr ? status : &ignored)) {
        return false;
    }
    // Only 128 data bytes exist in a reply.
    const size_t count = std::min(buffer.size(), NvItemPacket::kDataSize);
    std::memcpy(buffer.data(), packet.Data().data(), count);
    return true;
}

bool WriteItem(MainControl& connection, uint16_t item, std::span<const uint8_t> data) {
    if (data.size() > NvItemPacket::kDataSize) {
        return false;
    }
    NvItemPacket packet(NvItemPacket::kWrite, item);
    std::copy(data.begin(), data.end(), packet.Data().begin());
    int32_t status = 0;  // a write reports no status
    return connection.NvRequest(packet, &status);
}

bool ModelFromModemPort(const DeviceRoot& root, std::optional<std::string_view> card_mark,
                        AtPort::PortVariable variable, std::string* model) {
    const auto port = card_mark ? FindModemPortFor(root, *card_mark) : FindModemPort(root);
    AtPort at(root, variable);
    if (!port || !at.Open(*port)) {
        return false;
    }
    std::array<char, AtPort::kReplyArea> reply{};
    const int result = at.SendCommand("AT+CGMM\r", reply.data());
    at.Close();
    if (result != kAtOk) {
        return false;
    }
    *model = std::string(reply.data(), strnlen(reply.data(), reply.size() - 1));
    return true;
}

bool BoardTypeOverDiag(MainControl& connection, std::string* board_type) {
    int32_t status = 0;  // the DIAG steps' statuses stay inside
    if (QueryBoardType(connection, board_type, &status)) {
        return true;
    }
    std::string firmware;
    std::string pcb;
    return QueryVersions(connection, &firmware, &pcb, &status) && BoardTypeFromPcb(pcb, board_type);
}

bool RestartCard(MainControl& connection) {
    // A card that does not confirm that it went offline is reset all the same: the restart is
    // what the caller asked for, and the card acknowledges it or not.
    GoOffline(connection);
    GetClock().SleepFor(timing::kModePause);
    return ResetCard(connection);
}

}  // namespace carvex
