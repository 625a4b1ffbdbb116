#pragma once

#include <optional>
#include <string>

#include "cardwork/card/card_access.h"

namespace cardwright {

class LibraryWorker;

// The card seam of the window, over the library's exported functions: the one place of the
// window that calls them. Each call runs on LibraryWorker's thread while the window's thread
// waits in a local event loop, so the window repaints and its log grows while the card answers.
class LibraryCard : public CardAccess {
  public:
    explicit LibraryCard(LibraryWorker& worker) : worker_(worker) {}

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

    // The COM number of the card the last Open opened; nullopt when it failed.
    std::optional<int> Port() const { return port_; }
    // Why the card cannot be used, in a few words ("no card found", "COM12 is in use by minicom
    // (pid 700)", "COM12 is gone"): after an Open that failed, or once Gone found the card gone;
    // empty otherwise.
    const std::string& Trouble() const { return trouble_; }

  private:
    LibraryWorker& worker_;
    std::optional<int> port_;
    std::string trouble_;
};

}  // namespace cardwright
