#pragma once

#include "cardwork/card/card_access.h"

namespace cardwright {

// A card seam that hands every call on to another card seam: what the seams that hold, record or
// hold back a card's calls build on.
class ForwardingCard : public CardAccess {
  public:
    explicit ForwardingCard(CardAccess& card) : card_(card) {}

    bool Open() override { return card_.Open(); }
    void Close() override { card_.Close(); }
    bool NewVersionMark(int32_t& status) override { return card_.NewVersionMark(status); }
    std::optional<std::string> BoardType() override { return card_.BoardType(); }
    bool ReadImei(std::span<uint8_t> bytes, int32_t& status) override {
        return card_.ReadImei(bytes, status);
    }
    std::optional<std::string> FirmwareVersion(int32_t& status) override {
        return card_.FirmwareVersion(status);
    }
    std::optional<std::string> PcbVersion(int32_t& status) override {
        return card_.PcbVersion(status);
    }
    std::optional<std::string> DashboardVersion(int32_t& status) override {
        return card_.DashboardVersion(status);
    }
    bool ReadNv(int32_t item, NvData& data, int32_t& status) override {
        return card_.ReadNv(item, data, status);
    }
    bool WriteNv(int32_t item, const NvData& data) override { return card_.WriteNv(item, data); }
    bool ReadPortSetting(DeviceState& setting, int32_t& status) override {
        return card_.ReadPortSetting(setting, status);
    }
    bool WritePortSetting(const DeviceState& setting, int32_t& status) override {
        return card_.WritePortSetting(setting, status);
    }
    bool Backup(int32_t& status) override { return card_.Backup(status); }
    bool Restart() override { return card_.Restart(); }
    bool Gone() override { return card_.Gone(); }
    std::string Trouble() override { return card_.Trouble(); }
    uint64_t NvRetries() override { return card_.NvRetries(); }
    std::string PortName() override { return card_.PortName(); }

  protected:
    CardAccess& Inner() { return card_; }

  private:
    CardAccess& card_;
};

}  // namespace cardwright
