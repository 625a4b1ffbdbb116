#include "carvex/connection/main_control.h"

#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"

namespace carvex {

namespace {
constexpr std::string_view kDiagSwitch = "AT$QCDMG\r~";
}

int32_t RequestStatusForNv(uint16_t nv_status) {
    switch (nv_status) {
        case 3:
            return kStatusNvFull;
        case 5:
            return kStatusInactive;
        case 6:
            return kStatusBadParameter;
        case 7:
            return kStatusReadOnly;
        case 9:
            return kStatusNoMemory;
        default:
            return kStatusNvFailed;
    }
}

MainControl::MainControl(DeviceRoot root) : link_(std::move(root)) {}

MainControl::MainControl(DiagLink::PortOpener opener) : link_(std::move(opener)) {}

MainControl::~MainControl() {
    ClosePort();
}

bool MainControl::OpenPort(int port_number, uint32_t baud_rate) {
    ConnectionGuard guard(*this);
    if (open_) {
        return true;
    }
    open_ = true;
    if (link_.Open(port_number, baud_rate)) {
        link_.SetObserver(this);
        return true;
    }
    open_ = false;
    return false;
}

bool MainControl::ClosePort() {
    ConnectionGuard guard(*this);
    if (open_) {
        open_ = false;
        link_.Close();
        GetClock().SleepFor(timing::kAfterClose);
    }
    return true;
}

bool MainControl::SwitchToDiag() {
    return link_.Send(true,
                      {reinterpret_cast<const uint8_t*>(kDiagSwitch.data()), kDiagSwitch.size()});
}

bool MainControl::OpenInDiagMode(int port_number) {
    if (!OpenPort(port_number, kDiagBaudRate)) {
        return false;
    }
    ConnectionGuard guard(*this);
    if (!SwitchToDiag()) {
        // A card left in AT mode cannot answer DIAG: report it and do not keep the port.
        ClosePort();
        return false;
    }
    GetClock().SleepFor(timing::kDiagSwitchPause);
    ClosePort();
    GetClock().SleepFor(timing::kDiagSwitchPause);
    return OpenPort(port_number, kDiagBaudRate);
}

bool MainControl::WaitReply(uint8_t command) {
    reply_.fill(0);
    int32_t received = 0;
    if (!link_.WaitResponse(DiagRequestHeader::Command(command), reply_, &received,
                            timing::kReplyWait)) {
        reply_length_ = 0;
        return false;
    }
    reply_length_ = received;
    return true;
}

bool MainControl::NvRequest(NvItemPacket& packet, int32_t* status) {
    const NvItemPacket request = packet;
    NvItemPacket working;
    bool succeeded = false;
    for (int attempt = 1;; ++attempt) {
        working = request;
        int32_t attempt_status = kStatusNotSent;
        if (link_.Send(false, working.Bytes())) {
            working.ClearAllButStatus();
            int32_t received = 0;
            if (!link_.WaitRaw(working.Bytes(), &received, ResponseKey::Of(request.Command()),
                               timing::kNvWait)) {
                attempt_status = kStatusNoReply;
            } else if (working.Status() == 0) {
                succeeded = true;
                break;
            } else {
                attempt_status = RequestStatusForNv(working.Status());
            }
        }
        *status = attempt_status;
        // A read-only or inactive item, or a bad parameter, will not change by asking again.
        if (attempt_status == kStatusReadOnly || attempt_status == kStatusInactive ||
            attempt_status == kStatusBadParameter) {
            break;
        }
        GetClock().SleepFor(timing::kNvRetryPause);
        if (attempt >= kNvAttempts) {
            break;
        }
    }
    packet = working;
    return succeeded;
}

}  // namespace carvex
