#pragma once

#include <cstdint>
#include <vector>

#include "cardsim/diag_responder.h"
#include "cardsim/fault.h"
#include "cardsim/pty_pair.h"

namespace cardsim {

// How the card's DIAG answers go out on its PC UI interface: framed, shaped by a fault (a bad FCS,
// one byte a write, an unrequested report before the answer or in the same write), and never
// into the middle of an event report that the card streams between its answers.
class PcUiWriter {
  public:
    // A new interface: nothing of a report is left to write.
    void Reset() { pending_.clear(); }

    // Writes what fits now of the reports streamed without pause.
    void ContinueStream(PtyPair& pty);
    // An answer, after the rest of a report under way.
    void Deliver(PtyPair& pty, const Packet& reply, Fault::Kind fault);

  private:
    std::vector<uint8_t> pending_;  // the part of a streamed report not yet written
};

}  // namespace cardsim
