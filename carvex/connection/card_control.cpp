#include "carvex/connection/card_control.h"

#include <array>
#include <optional>

#include "carvex/connection/diag_commands.h"
#include "carvex/link/little_endian.h"
#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"

namespace carvex {

namespace {

constexpr int kResetAttempts = 5;

bool SendModeControl(MainControl& connection, uint8_t mode) {
    const std::array<uint8_t, 3> request{kDiagModeControl, mode, 0x00};
    return connection.Link().Send(false, request);
}

// A mode-control reply may echo the mode it answers: the echo of the other mode answers the
// other request.
ResponseKey ModeControlReply(uint8_t mode) {
    return ResponseKey::Except(kDiagModeControl, mode == kModeOffline ? kModeReset : kModeOffline);
}

// A reply of the port-setting subsystem answers only the request with its command code.
ResponseKey PortSettingReply(uint16_t code) {
    return ResponseKey::For(
        DiagRequestHeader::Subsystem(kDiagSubsystemDispatch, kPortSubsystem, code));
}

}  // namespace

bool BackupNv(MainControl& connection, int32_t* status) {
    const std::array<uint8_t, 4> request{kDiagCardCommand, kBackupSubcommand, 0x00, 0x00};
    bool result = false;
    if (!connection.Link().Send(false, request)) {
        SetStatus(status, kStatusNotSent);
    } else {
        std::array<uint8_t, 4> reply{};
        int32_t received = 0;
        // A reply without its result byte does not confirm anything.
        if (!connection.Link().WaitRaw(reply, &received, ResponseKey::Of(kDiagCardCommand),
                                       timing::kBackupWait) ||
            received < 2) {
            SetStatus(status, kStatusNoReply);
        } else {
            result = reply[1] != 1;
        }
    }
    GetClock().SleepFor(timing::kAfterBackup);
    return result;
}

bool SetPortSetting(MainControl& connection, int32_t value, int32_t bits, int32_t* status) {
    std::array<uint8_t, 8> request{kDiagSubsystemDispatch, kPortSubsystem};
    PutLe16(request, 2, kPortSettingSetCode);
    request[4] = static_cast<uint8_t>(value & 0xFF);
    request[5] = static_cast<uint8_t>(bits & 0xFF);
    if (!connection.Link().Send(false, request)) {
        SetStatus(status, kStatusNotSent);
        return false;
    }
    if (!connection.WaitReply(PortSettingReply(kPortSettingSetCode))) {
        SetStatus(status, kStatusNoReply);
        return false;
    }
    return connection.Reply()[3] != 1;
}

bool GetPortSetting(MainControl& connection, int32_t* value, int32_t* bits, int32_t* status) {
    std::array<uint8_t, 8> request{kDiagSubsystemDispatch, kPortSubsystem};
    PutLe16(request, 2, kPortSettingGetCode);
    if (!connection.Link().Send(false, request)) {
        SetStatus(status, kStatusNotSent);
        return false;
    }
    // Subsystem, command code, result, state value, port bit mask.
    std::array<uint8_t, 6> reply{};
    if (!connection.Link().WaitResponse(PortSettingReply(kPortSettingGetCode), 1, reply, nullptr,
                                        timing::kPortSettingWait)) {
        SetStatus(status, kStatusNoReply);
        return false;
    }
    if (reply[3] == 0) {
        if (value != nullptr) {
            *value = reply[4];
        }
        if (bits != nullptr) {
            *bits = reply[5];
        }
    }
    return true;
}

bool QueryStatus(MainControl& connection) {
    const uint8_t request = kDiagStatus;
    return connection.Link().Send(false, std::span(&request, 1)) &&
           connection.WaitReply(kDiagStatus) &&
           connection.ReplyLength() == static_cast<int32_t>(kStatusReplyLength);
}

uint16_t StatusModeWord(const MainControl& connection) {
    return GetLe16(connection.Reply(), kStatusModeOffset);
}

bool GoOffline(MainControl& connection) {
    if (QueryStatus(connection) && StatusModeWord(connection) == kModeWordOffline) {
        return true;
    }
    SendModeControl(connection, kModeOffline);
    connection.WaitReply(ModeControlReply(kModeOffline));
    GetClock().SleepFor(timing::kModePause);
    return QueryStatus(connection) && StatusModeWord(connection) == kModeWordOffline;
}

bool ResetCard(MainControl& connection) {
    // An acknowledgement that comes just after an attempt's wait still answers the reset: the
    // card restarts all the same, and once it has gone the next attempts cannot even be sent.
    // So every wait takes the acknowledgement of any attempt before it, and what has arrived is
    // looked at before each new attempt and before giving up.
    std::array<uint8_t, 3> ack{};
    int32_t received = 0;
    const ResponseKey key = ModeControlReply(kModeReset);
    std::optional<uint64_t> first;
    const auto arrived = [&] {
        return first && connection.Link().TakeQueued(ack, &received, key, *first);
    };
    bool acknowledged = false;
    for (int attempt = 0; attempt < kResetAttempts && !acknowledged; ++attempt) {
        if (arrived()) {
            acknowledged = true;
            break;
        }
        if (!SendModeControl(connection, kModeReset)) {
            continue;
        }
        if (!first) {
            first = connection.Link().LastRequest();
        }
        acknowledged = connection.Link().WaitRaw(ack, &received, key, timing::kReplyWait, first);
    }
    acknowledged = acknowledged || arrived();
    if (acknowledged) {
        GetClock().SleepFor(timing::kModePause);
    }
    return acknowledged;
}

}  // namespace carvex
