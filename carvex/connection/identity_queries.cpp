#include "carvex/connection/identity_queries.h"

#include <array>
#include <cstring>

#include "carvex/connection/diag_commands.h"
#include "carvex/link/little_endian.h"
#include "carvex/link/request_table.h"
#include "carvex/link/resolve_request.h"
#include "carvex/link/timings.h"

namespace carvex {

namespace {

constexpr size_t kVersionField = 31;
constexpr size_t kDashboardField = 255;
constexpr uint8_t kNewVersionMark = 0x68;

// A reply of the card's subsystem answers only the request with its command code.
ResponseKey CardSubsystemReply(uint16_t code) {
    return ResponseKey::For(
        DiagRequestHeader::Subsystem(kDiagSubsystemDispatch, kCardSubsystem, code));
}

std::string TextField(std::span<const uint8_t> field) {
    const auto* begin = reinterpret_cast<const char*>(field.data());
    return std::string(begin, strnlen(begin, field.size()));
}

}  // namespace

bool QueryVersions(MainControl& connection, std::string* firmware, std::string* pcb,
                   int32_t* status) {
    DiagRequestHeader header;
    int32_t resolution = kResolveNotSent;
    const bool resolved = ResolveRequest(connection.Link(), kRequestVersions, &header, &resolution);
    SetStatus(status, resolution);
    if (!resolved) {
        return false;
    }
    if (!connection.Link().SendRequest(header, {})) {
        SetStatus(status, kStatusNotSent);
        return false;
    }
    std::array<uint8_t, 2 * kVersionField> payload{};
    if (!connection.Link().WaitResponse(header, payload, nullptr, timing::kQueryWait)) {
        SetStatus(status, kStatusNoReply);
        return false;
    }
    *firmware = TextField(std::span(payload).first(kVersionField));
    *pcb = TextField(std::span(payload).subspan(kVersionField));
    return true;
}

bool QueryDashboardVersion(MainControl& connection, std::string* text, int32_t* status) {
    std::array<uint8_t, 36> request{kDiagSubsystemDispatch, kCardSubsystem};
    PutLe16(request, 2, kDashboardCode);
    if (!connection.Link().Send(false, request)) {
        SetStatus(status, kStatusNotSent);
        return false;
    }
    // Subsystem, command code, result byte, then the text.
    std::array<uint8_t, 4 + kDashboardField> payload{};
    if (!connection.Link().WaitResponse(CardSubsystemReply(kDashboardCode), 1, payload, nullptr,
                                        timing::kQueryWait) ||
        payload[3] == 1) {
        return false;
    }
    *text = TextField(std::span(payload).subspan(4));
    return true;
}

bool QueryBoardType(MainControl& connection, std::string* text, int32_t* status) {
    const uint8_t request = kDiagBoardType;
    if (!connection.Link().Send(false, std::span(&request, 1))) {
        SetStatus(status, kStatusNotSent);
        return false;
    }
    std::array<uint8_t, kVersionField> payload{};
    if (!connection.Link().WaitResponse(DiagRequestHeader::Command(kDiagBoardType), payload,
                                        nullptr, timing::kQueryWait)) {
        return false;
    }
    *text = TextField(payload);
    return true;
}

bool QueryNewVersionMark(MainControl& connection, int32_t* status) {
    std::array<uint8_t, 7> request{kDiagSubsystemDispatch, kCardSubsystem};
    PutLe16(request, 2, kNewVersionCode);
    if (!connection.Link().Send(false, request)) {
        SetStatus(status, kStatusNotSent);
        return false;
    }
    std::array<uint8_t, 6> payload{};
    if (!connection.Link().WaitResponse(CardSubsystemReply(kNewVersionCode), 1, payload, nullptr,
                                        timing::kNewVersionWait)) {
        return false;
    }
    return payload[3] == kNewVersionMark;
}

bool BoardTypeFromPcb(const std::string& pcb, std::string* board_type) {
    const size_t at = pcb.find(" Ver");
    if (at == std::string::npos || at <= 8) {
        return false;
    }
    *board_type = pcb.substr(0, at - 8);
    return true;
}

}  // namespace carvex
