#include "carvex/connection/card_control.h"

#include <array>

#include "carvex/connection/diag_commands.h"
#include "carvex/link/little_endian.h"
#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"

namespace carvex {

namespace {

constexpr int32_t kStatusReplyLength = 47;
constexpr uint16_t kModeOffline = 2;
constexpr int kResetAttempts = 5;

bool SendModeControl(MainControl& connection, uint8_t mode) {
    const std::array<uint8_t, 3> request{kDiagModeControl, mode, 0x00};
    return connection.Link().Send(false, request);
}

}  // namespace

bool BackupNv(MainControl& connection, int32_t* status) {
    const std::array<uint8_t, 4> request{kDiagCardCommand, 0x13, 0x00, 0x00};
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
    const std::array<uint8_t, 8> request{kDiagSubsystemDispatch,
                                         kPortSubsystem,
                                         0x19,
                                         0xFF,
                                         static_cast<uint8_t>(value & 0xFF),
                                         static_cast<uint8_t>(bits & 0xFF),
                                         0x00,
                                         0x00};
    if (!connection.Link().Send(false, request)) {
        SetStatus(status, kStatusNotSent);
        return false;
    }
    if (!connection.WaitReply(kDiagSubsystemDispatch)) {
        SetStatus(status, kStatusNoReply);
        return false;
    }
    return connection.Reply()[3] != 1;
}

bool GetPortSetting(MainControl& connection, int32_t* value, int32_t* bits, int32_t* status) {
    const std::array<uint8_t, 8> request{
        kDiagSubsystemDispatch, kPortSubsystem, 0x1A, 0xFF, 0, 0, 0, 0};
    if (!connection.Link().Send(false, request)) {
        SetStatus(status, kStatusNotSent);
        return false;
    }
    std::array<uint8_t, 6> reply{};
    if (!connection.Link().WaitResponse(DiagRequestHeader::Command(kDiagSubsystemDispatch), reply,
                                        nullptr, timing::kPortSettingWait)) {
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
           connection.WaitReply(kDiagStatus) && connection.ReplyLength() == kStatusReplyLength;
}

uint16_t StatusModeWord(const MainControl& connection) {
    return GetLe16(connection.Reply(), 31);
}

bool GoOffline(MainControl& connection) {
    if (QueryStatus(connection) && StatusModeWord(connection) == kModeOffline) {
        return true;
    }
    SendModeControl(connection, 1);
    connection.WaitReply(kDiagModeControl);
    GetClock().SleepFor(timing::kModePause);
    QueryStatus(connection);
    return true;
}

bool ResetCard(MainControl& connection) {
    for (int attempt = 0; attempt < kResetAttempts; ++attempt) {
        if (SendModeControl(connection, 2) && connection.WaitReply(kDiagModeControl)) {
            GetClock().SleepFor(timing::kModePause);
            return true;
        }
    }
    return false;
}

}  // namespace carvex
