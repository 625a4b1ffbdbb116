#include "carvex/link/at_port.h"

#include <array>
#include <chrono>
#include <cstring>

#include "carvex/link/port_discovery.h"
#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/environment.h"

namespace carvex {

namespace {

constexpr uint32_t kAtBaudRate = 115200;

struct CmeError {
    const char* text;
    int result;
};
// Checked in this order.
constexpr std::array<CmeError, 4> kCmeErrors{{
    {"+CME ERROR: SIM failure", kAtSimFailure},
    {"+CME ERROR: operation not allowed", kAtNotAllowed},
    {"+CME ERROR: incorrect password", kAtIncorrectPassword},
    {"+CME ERROR: SIM busy", kAtSimBusy},
}};

long long WholeSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(GetClock().WallNow().time_since_epoch())
        .count();
}

// The reply body: from behind the first CR LF up to the CR LF CR LF before the last "OK".
void ExtractBody(const std::array<char, AtPort::kReplyArea>& text, char* reply) {
    constexpr int kLast = static_cast<int>(AtPort::kReplyArea) - 2;  // 126
    int p = 0;
    while (p <= kLast && !(text[p] == '\r' && text[p + 1] == '\n')) {
        ++p;
    }
    if (p > kLast) {
        return;
    }
    const int body_start = p + 2;
    int length = 0;
    for (int i = p; i <= kLast; ++i) {
        if (text[i] == 'O' && text[i + 1] == 'K') {
            length = i - body_start - 4;
        }
    }
    if (length > 0) {
        std::memcpy(reply, text.data() + body_start, static_cast<size_t>(length));
    }
}

}  // namespace

bool AtPort::FindDiagPortNumber(int* port, int* spare) const {
    const auto found = FindDiagPort(root_);
    *port = found.value_or(0);
    *spare = 0;
    return found.has_value();
}

bool AtPort::FindModemPortNumber(int* port, int* spare) const {
    const auto found = FindModemPort(root_);
    *port = found.value_or(0);
    *spare = 0;
    return found.has_value();
}

bool AtPort::Open(int port_number) {
    Close();
    device_path_ = ComDevicePath(port_number);
    const auto device = root_.ResolveDevicePath(device_path_);
    if (!device) {
        return false;
    }
    if (device_.Open(*device, kAtBaudRate) != kPortNoError) {
        device_.Close();
        return false;
    }
    if (variable_ == PortVariable::kPublish) {
        SetEnvironmentValue(kPortVariable, device_path_);
    }
    return true;
}

// Appends what the port has received so far; the area stays NUL-terminated.
size_t AtPort::Collect(std::span<char> area, size_t used) {
    const size_t room = area.size() - 1 - used;
    if (room == 0) {
        return used;
    }
    const std::span<uint8_t> free(reinterpret_cast<uint8_t*>(area.data()) + used, room);
    return used + device_.Drain(free).value_or(0);
}

int AtPort::SendCommand(std::string_view command, char* reply) {
    if (reply == nullptr || !device_.IsOpen()) {
        return kAtNoAnswer;
    }
    // A failed write is not reported: the reply simply does not come.
    device_.WriteAll({reinterpret_cast<const uint8_t*>(command.data()), command.size()},
                     GetClock().Timeout(timing::kWriteLimit));

    std::array<char, kReplyArea> text{};
    size_t used = 0;
    const long long start = WholeSeconds();
    long long last = start;
    bool answered = false;
    while (last - start <= timing::kAtReplyLimit.count()) {
        used = Collect(text, used);
        const std::string_view seen(text.data(), used);
        if (seen.find("OK") != std::string_view::npos) {
            answered = true;
            break;
        }
        if (seen.find("ERROR") != std::string_view::npos) {
            for (const auto& error : kCmeErrors) {
                if (seen.find(error.text) != std::string_view::npos) {
                    return error.result;
                }
            }
            return kAtNoAnswer;  // an error the card does not name ends the exchange as well
        }
        if (seen.find("COMMAND NOT SUPPORTED") != std::string_view::npos) {
            return kAtNoAnswer;
        }
        GetClock().SleepFor(timing::kAtPollInterval);
        last = WholeSeconds();
    }
    if (!answered) {
        return kAtNoAnswer;
    }
    ExtractBody(text, reply);
    return kAtOk;
}

void AtPort::Close() {
    if (device_.IsOpen()) {
        device_.Close();
        if (variable_ == PortVariable::kPublish) {
            RemoveEnvironmentValue(kPortVariable);
        }
    }
}

}  // namespace carvex
