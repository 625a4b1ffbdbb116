#pragma once

#include <span>
#include <string>
#include <string_view>

#include "carvex/platform/device_root.h"
#include "carvex/platform/serial_device.h"

namespace carvex {

// AT command results.
enum AtResult : int {
    kAtNoAnswer = 0,  // also: not supported, or an error the card does not name
    kAtOk = 1,
    kAtIncorrectPassword = 5,
    kAtNotAllowed = 6,
    kAtSimFailure = 8,
    kAtSimBusy = 9,
};

// One AT exchange with one of the card's ports, opened for the exchange and closed after it.
// Also finds the card's ports. While the port is open the process environment names it in
// "EWComPortNum", unless the AtPort is made with PortVariable::kKeep (a process that talks to
// several cards at once has no one port to name).
class AtPort {
  public:
    static constexpr const char* kPortVariable = "EWComPortNum";
    static constexpr size_t kReplyArea = 128;

    enum class PortVariable { kPublish, kKeep };

    explicit AtPort(DeviceRoot root, PortVariable variable = PortVariable::kPublish)
        : root_(std::move(root)), variable_(variable) {}
    ~AtPort() { Close(); }
    AtPort(const AtPort&) = delete;
    AtPort& operator=(const AtPort&) = delete;

    // Each gives the port number (0 when not found) and sets `spare` to 0.
    bool FindDiagPortNumber(int* port, int* spare) const;
    bool FindModemPortNumber(int* port, int* spare) const;

    bool Open(int port_number);
    // Writes `command` and classifies the reply; on kAtOk the reply body goes to `reply` (at
    // least kReplyArea bytes, not terminated here). A null reply gives kAtNoAnswer at once.
    int SendCommand(std::string_view command, char* reply);
    void Close();

    const std::string& DevicePath() const { return device_path_; }

  private:
    size_t Collect(std::span<char> area, size_t used);

    DeviceRoot root_;
    PortVariable variable_;
    SerialDevice device_;
    std::string device_path_;
};

}  // namespace carvex
