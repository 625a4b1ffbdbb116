#pragma once

#include "cardwork/card/card_access.h"

namespace carvexctl {

// A card seam that hands every call on to another card seam: what the seams that hold, record or
// hold back a card's calls build on.
class ForwardingCard : public cardwright::CardAccess {
  public:
    explicit ForwardingCard(cardwright::CardAccess& card) : card_(card) {}

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
    bool ReadNv(int32_t item, cardwright::NvData& data, int32_t& status) override {
        return card_.ReadNv(item, data, status);
    }
    bool WriteNv(int32_t item, const cardwright::NvData& data) override {
        return card_.WriteNv(item, data);
    }
    bool ReadPortSetting(cardwright::DeviceState& setting, int32_t& status) override {
        return card_.ReadPortSetting(setting, status);
    }
    bool WritePortSetting(const cardwright::DeviceState& setting, int32_t& status) override {
        return card_.WritePortSetting(setting, status);
    }
    bool Backup(int32_t& status) override { return card_.Backup(status); }
    bool Restart() override { return card_.Restart(); }
    bool Gone() override { return card_.Gone(); }
    std::string Trouble() override { return card_.Trouble(); }

  protected:
    cardwright::CardAccess& Inner() { return card_; }

  private:
    cardwright::CardAccess& card_;
};

}  // namespace carvexctl
