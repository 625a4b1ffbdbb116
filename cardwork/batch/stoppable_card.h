#pragma once

#include "cardwork/card/forwarding_card.h"
#include "cardwork/batch/work_stop.h"
#include "cardwork/card/log_sink.h"

namespace cardwright {

// A card seam that takes no further call once the work is broken off: each call then fails at
// once, as a card that is not there, so that the sequence ends at its next call to the card
// wherever it is. Nothing is sent to the card meanwhile. At its first call after the work was
// told to stop, it logs that (the card goes on within its grace).
class StoppableCard : public ForwardingCard {
  public:
    static constexpr std::string_view kBrokenOff = "the work was broken off";

    StoppableCard(CardAccess& card, const WorkStop& stop, LogSink& log)
        : ForwardingCard(card), stop_(stop), log_(log) {}

    bool Open() override { return Going() && ForwardingCard::Open(); }
    bool NewVersionMark(int32_t& status) override {
        return Going() && ForwardingCard::NewVersionMark(status);
    }
    std::optional<std::string> BoardType() override {
        return Going() ? ForwardingCard::BoardType() : std::nullopt;
    }
    bool ReadImei(std::span<uint8_t> bytes, int32_t& status) override {
        return Going() && ForwardingCard::ReadImei(bytes, status);
    }
    std::optional<std::string> FirmwareVersion(int32_t& status) override {
        return Going() ? ForwardingCard::FirmwareVersion(status) : std::nullopt;
    }
    std::optional<std::string> PcbVersion(int32_t& status) override {
        return Going() ? ForwardingCard::PcbVersion(status) : std::nullopt;
    }
    std::optional<std::string> DashboardVersion(int32_t& status) override {
        return Going() ? ForwardingCard::DashboardVersion(status) : std::nullopt;
    }
    bool ReadNv(int32_t item, NvData& data, int32_t& status) override {
        return Going() && ForwardingCard::ReadNv(item, data, status);
    }
    bool WriteNv(int32_t item, const NvData& data) override {
        return Going() && ForwardingCard::WriteNv(item, data);
    }
    bool ReadPortSetting(DeviceState& setting, int32_t& status) override {
        return Going() && ForwardingCard::ReadPortSetting(setting, status);
    }
    bool WritePortSetting(const DeviceState& setting, int32_t& status) override {
        return Going() && ForwardingCard::WritePortSetting(setting, status);
    }
    bool Backup(int32_t& status) override { return Going() && ForwardingCard::Backup(status); }
    bool Restart() override { return Going() && ForwardingCard::Restart(); }
    std::string Trouble() override {
        return stop_.BrokenOff() ? std::string(kBrokenOff) : ForwardingCard::Trouble();
    }

  private:
    bool Going() {
        if (!told_ && stop_.Stopping()) {
            told_ = true;
            log_.AddLog("Asked to stop (" + stop_.Why() + "): the card's work goes on if it can " +
                        "end within " + stop_.GraceWords() + "...");
        }
        return !stop_.BrokenOff();
    }

    const WorkStop& stop_;
    LogSink& log_;
    bool told_ = false;
};

}  // namespace cardwright
