#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cardwork/card/forwarding_card.h"

namespace cardwright {

// What a sequence wrote to a card, as the card took it.
struct CardWrites {
    // Each NV item written, with the 128 bytes of its last write, in the order first written.
    std::vector<int32_t> order;
    std::map<int32_t, NvData> nv;
    std::optional<DeviceState> port_setting;
    bool backed_up = false;
    bool restarted = false;
    // The first call the card did not take, in words ("the card did not take NV item 60000").
    std::optional<std::string> failure;
};

// A card seam that notes every write it hands on: the bytes a Write sent, to be read back and
// compared afterwards. With kHoldBack it hands no write, backup or restart on and answers each as
// taken: the plan of a Write, made without changing the card. Everything else reaches the card.
class RecordingCard : public ForwardingCard {
  public:
    enum class Writes { kSend, kHoldBack };

    RecordingCard(CardAccess& card, Writes writes) : ForwardingCard(card), writes_(writes) {}

    const CardWrites& Written() const { return written_; }

    bool WriteNv(int32_t item, const NvData& data) override;
    bool WritePortSetting(const DeviceState& setting, int32_t& status) override;
    bool Backup(int32_t& status) override;
    bool Restart() override;
    // The card's own trouble when it tells one, else the first call the card did not take.
    std::string Trouble() override;

  private:
    bool Note(bool taken, const std::string& what);

    Writes writes_;
    CardWrites written_;
};

}  // namespace cardwright
