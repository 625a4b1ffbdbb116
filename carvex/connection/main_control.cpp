#include "carvex/connection/main_control.h"

#include <optional>

#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"

namespace carvex {

namespace {
constexpr std::string_view kDiagSwitch = "AT$QCDMG\r~";
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
    // Open only once the link and its receiving thread are up.
    if (!link_.Open(port_number, baud_rate)) {
        return false;
    }
    link_.SetObserver(this);
    open_ = true;
    return true;
}

void MainControl::ClosePort() {
    ConnectionGuard guard(*this);
    if (open_) {
        open_ = false;
        link_.Close();
        GetClock().SleepFor(timing::kAfterClose);
    }
}

void MainControl::Release() noexcept {
    ConnectionGuard guard(*this);
    open_ = false;
    link_.Close();
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
    return WaitReply(ResponseKey::Of(command));
}

bool MainControl::WaitReply(ResponseKey key) {
    reply_.fill(0);
    int32_t received = 0;
    if (!link_.WaitResponse(key, 1, reply_, &received, timing::kReplyWait)) {
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
    std::optional<uint64_t> first;
    for (int attempt = 1;; ++attempt) {
        working = request;
        int32_t attempt_status = kStatusNotSent;
        if (link_.Send(false, working.Bytes())) {
            first = first.value_or(link_.LastRequest());
            working.ClearAllButStatus();
            int32_t received = 0;
            // Only the reply for this item answers: a late reply for another never does. The
            // attempts ask the same, so a late reply to an earlier one answers a later one.
            if (!link_.WaitRaw(working.Bytes(), &received,
                               ResponseKey::NvItem(request.Command(), request.Item()),
                               timing::kNvWait, first) ||
                received < static_cast<int32_t>(NvItemPacket::kSize)) {
                // A reply cut short carries no NV status: it is no answer, not a success.
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
        ++nv_retries_;
    }
    packet = working;
    return succeeded;
}

}  // namespace carvex
