#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cardsim {

// Takes AT command lines out of what arrives on an AT interface, byte by byte, as a modem's
// command parser does: a line starts at "AT" (either case), so line feeds, the rest of a CR LF
// ending and anything else before "AT" (a DIAG probe sent to a port still in AT mode) are
// skipped; line feeds within a line are skipped too; a carriage return ends the line.
class AtLineReader {
  public:
    // The line this byte completes ("AT...\r"), if it completes one.
    std::optional<std::string> Feed(uint8_t byte);
    void Reset();

  private:
    std::string line_;  // empty: waiting for "A"; "A": waiting for "T"
};

}  // namespace cardsim
