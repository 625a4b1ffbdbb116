#pragma once

#include <optional>
#include <string>

#include "cardwork/card/card_access.h"
#include "carvex/connection/card_connection.h"
#include "carvex/platform/port_diagnosis.h"

namespace cardwright {

// Why the card (COM`port`, or the first of the device root) could not be opened by `connection`,
// whose last Open failed: no card there, or what keeps its port from being used.
carvex::PortDiagnosis WhyNotOpened(const carvex::DeviceRoot& root, std::optional<int> port,
                                   const carvex::CardConnection& connection);

// A card that went away while it was worked on: "COM12 is gone: the card was unplugged or is
// restarting".
std::string GoneWords(int port);

// The card seam over the library's C++ core: one card on a connection of its own, so that one
// program can work several cards at once (nothing process-wide is used).
class ConnectionCard : public CardAccess {
  public:
    // The card whose PC UI interface is COM`port`, or the first card of the device root.
    ConnectionCard(carvex::DeviceRoot root, std::optional<int> port);

    // Why the last Open failed, and which port it used.
    const carvex::CardConnection& Connection() const { return connection_; }

    bool Open() override;
    void Close() override;
    bool NewVersionMark(int32_t& status) override;
    std::optional<std::string> BoardType() override;
    bool ReadImei(std::span<uint8_t> bytes, int32_t& status) override;
    std::optional<std::string> FirmwareVersion(int32_t& status) override;
    std::optional<std::string> PcbVersion(int32_t& status) override;
    std::optional<std::string> DashboardVersion(int32_t& status) override;
    bool ReadNv(int32_t item, NvData& data, int32_t& status) override;
    bool WriteNv(int32_t item, const NvData& data) override;
    bool ReadPortSetting(DeviceState& setting, int32_t& status) override;
    bool WritePortSetting(const DeviceState& setting, int32_t& status) override;
    bool Backup(int32_t& status) override;
    bool Restart() override;
    bool Gone() override;
    // After an Open that failed, WhyNotOpened in a few words ("COM12 is in use by minicom (pid
    // 700)"); once Gone found the card gone, GoneWords.
    std::string Trouble() override;
    uint64_t NvRetries() override { return connection_.NvRetries(); }

  private:
    carvex::DeviceRoot root_;
    carvex::CardConnection connection_;
    std::optional<int> port_;
    bool open_failed_ = false;
    std::optional<int> gone_;  // the port the card went away from
};

}  // namespace cardwright
