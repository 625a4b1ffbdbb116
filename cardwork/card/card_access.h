#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "cardwork/model/item_value.h"
#include "cardwork/model/nv_compose.h"

namespace cardwright {

// The card seam: the library calls the card work makes, on one card. Open may follow a Close;
// every other call needs the card open. Results say whether the call succeeded; `status` gets the
// request status of a failed call (the library's CARVEX_STATUS_ values) where the library gives
// one. Texts are returned as the card sent them.
class CardAccess {
  public:
    virtual ~CardAccess() = default;

    virtual bool Open() = 0;
    virtual void Close() = 0;

    // Whether the card answers as the newer firmware generation.
    virtual bool NewVersionMark(int32_t& status) = 0;
    virtual std::optional<std::string> BoardType() = 0;
    // The first bytes of NV item 550, undecoded.
    virtual bool ReadImei(std::span<uint8_t> bytes, int32_t& status) = 0;
    virtual std::optional<std::string> FirmwareVersion(int32_t& status) = 0;
    virtual std::optional<std::string> PcbVersion(int32_t& status) = 0;
    virtual std::optional<std::string> DashboardVersion(int32_t& status) = 0;

    virtual bool ReadNv(int32_t item, NvData& data, int32_t& status) = 0;
    virtual bool WriteNv(int32_t item, const NvData& data) = 0;
    virtual bool ReadPortSetting(DeviceState& setting, int32_t& status) = 0;
    virtual bool WritePortSetting(const DeviceState& setting, int32_t& status) = 0;

    virtual bool Backup(int32_t& status) = 0;
    // Restarts the card; the card goes away for a moment.
    virtual bool Restart() = 0;

    // Whether the card has gone away since it was opened (unplugged, or restarting): asked after
    // a call that the card did not answer, which a card that is gone never does. False when the
    // seam cannot tell.
    virtual bool Gone() { return false; }
    // Why the card cannot be used, in the words of the front end the seam serves ("COM12 is in
    // use by minicom (pid 700)", "COM12 is gone"): after an Open that failed, once Gone found the
    // card gone, or after a call the card did not take, where the seam knows why. Empty when it
    // cannot tell.
    virtual std::string Trouble() { return {}; }
    // How many times the library asked an NV request again (a card that did not answer, or
    // answered with an NV status that may pass) since the seam was made: a card that needs them
    // is worth a look even when its work went through. 0 where the seam cannot tell.
    virtual uint64_t NvRetries() { return 0; }
    // The port of the card the last Open opened ("COM12"); empty when that failed or the seam
    // cannot tell.
    virtual std::string PortName() { return {}; }
};

}  // namespace cardwright
