#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "carvex/connection/main_control.h"
#include "carvex/link/port_discovery.h"

namespace carvex {

// One card on a connection of its own: what the exported functions do, for a program that works
// with several cards at once. Nothing here is process-wide: the card's port comes from the
// device root given, its board-type query asks the modem of this card (the one whose name
// carries the same " #N" mark as its PC UI interface) and leaves the process environment alone.
// One thread uses a connection at a time; separate connections run side by side.
class CardConnection {
  public:
    explicit CardConnection(DeviceRoot root);
    ~CardConnection();
    CardConnection(const CardConnection&) = delete;
    CardConnection& operator=(const CardConnection&) = delete;

    // Opens the card whose PC UI interface is COM`port`, or the first card found without a port
    // number, and switches it to DIAG, as InitCommPort does. Replaces an open connection.
    bool Open(std::optional<int> port = std::nullopt);
    void Close();
    bool IsOpen() const;

    // The PC UI port the last Open used (nullopt when no card was found).
    std::optional<DiagPortEntry> Port() const { return port_; }
    // Why the last Open failed: the port error code (0 when no card was found, or when the port
    // opened but the switch to DIAG could not be written) and the system's error number.
    int32_t OpenError() const { return open_error_; }
    int SystemError() const { return system_error_; }

    // As the exported functions of the same meaning; statuses as theirs.
    bool ReadNv(uint16_t item, std::span<uint8_t> buffer, int32_t* status);
    bool WriteNv(uint16_t item, std::span<const uint8_t> data);
    bool Imei(std::span<uint8_t> bytes, int32_t* status);
    bool FirmwareVersion(std::string* text, int32_t* status);
    bool PcbVersion(std::string* text, int32_t* status);
    bool DashboardVersion(std::string* text, int32_t* status);
    bool BoardType(std::string* text);
    bool NewVersion(int32_t* status);
    bool Backup(int32_t* status);
    bool SetPortSetting(int32_t value, int32_t bits, int32_t* status);
    bool GetPortSetting(int32_t* value, int32_t* bits, int32_t* status);
    bool Restart();

    // How many times the library asked an NV request again on this card, over every Open since
    // the object was made.
    uint64_t NvRetries() const;

  private:
    template <class Exchange>
    bool Run(int32_t* status, Exchange&& exchange);

    DeviceRoot root_;
    std::optional<MainControl> connection_;
    std::optional<DiagPortEntry> port_;
    std::string modem_mark_;  // the mark of this card's modem
    int32_t open_error_ = 0;
    int system_error_ = 0;
    uint64_t closed_retries_ = 0;  // of the connections closed since
};

}  // namespace carvex
