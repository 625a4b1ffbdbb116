#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cardwork/batch/status_words.h"
#include "carvex/connection/card_connection.h"
#include "carvex/platform/modem_manager.h"
#include "carvex/platform/port_diagnosis.h"
#include "tools/carvexctl/command_failure.h"

namespace carvexctl {

// The card opened for one of the commands that make single requests (info, nv, backup, pnp,
// reset), on a connection of its own, and closed when done; borrowed from ModemManager meanwhile.
class CommandCard {
  public:
    // The card whose PC UI interface is COM`port`, or the first card of the device root named by
    // $CARVEX_ROOT. Throws Failure, saying why, when it cannot be opened.
    explicit CommandCard(std::optional<int> port);
    CommandCard(const CommandCard&) = delete;
    CommandCard& operator=(const CommandCard&) = delete;

    carvex::CardConnection& Card() { return card_; }

  private:
    carvex::ModemManagerBorrow borrow_;  // given back after the card is closed
    carvex::CardConnection card_;
};

// Why the card (COM`port`, or the first) could not be opened by `connection`, whose last Open
// failed: no card there (and where to look next), or what keeps its port from being used.
carvex::PortDiagnosis WhyNotOpened(const carvex::DeviceRoot& root, std::optional<int> port,
                                   const carvex::CardConnection& connection);

// Progress on standard error, so standard output stays clean for scripts.
void Progress(const std::string& text);

}  // namespace carvexctl
