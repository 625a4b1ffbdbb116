#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cardwork/card/card_access.h"

namespace cardwright {

// The card seam over the library's exported functions, as the windows call them: the one place
// of the configurator that calls them. It works on the card InitCommPort opens, the first of the
// device root. The windows call it on their presenter's worker thread.
class LibraryCard : public CardAccess {
  public:
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
    // Whether the port the card was opened on has gone from the device root, or names a device
    // that is gone.
    bool Gone() override;

    // Why the card cannot be used, in a few words ("no card found", "COM12 is in use by minicom
    // (pid 700)", "COM12 is gone"): after an Open that failed, or once Gone found the card gone;
    // empty otherwise.
    std::string Trouble() override { return trouble_; }

    std::string PortName() override;

  private:
    std::optional<int> port_;
    std::string trouble_;
};

}  // namespace cardwright
