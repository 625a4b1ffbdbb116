#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "carvex/platform/unique_fd.h"

namespace cardsim {

// A pseudo-terminal in raw mode: the card's end is the master; the slave device is what the PC
// opens as its COM port. A descriptor of the slave is kept open (never read) so the PC closing
// and reopening its port does not hang up the master.
class PtyPair {
  public:
    // `give_up` (optional): a descriptor that turns readable when the card stops; a Write waiting
    // for a PC that does not read gives up then, so the card's thread can end at once.
    explicit PtyPair(int give_up = -1);

    const std::filesystem::path& SlavePath() const { return slave_path_; }
    int MasterFd() const { return master_.Get(); }

    bool Write(std::span<const uint8_t> bytes);
    // Writes what fits now, without waiting; the number of bytes written.
    size_t WriteSome(std::span<const uint8_t> bytes);
    // Reads what has arrived, waiting up to `timeout` for the first byte.
    std::vector<uint8_t> Read(std::chrono::milliseconds timeout);
    // Reads until `count` bytes arrived or `timeout` passed.
    std::vector<uint8_t> ReadExactly(size_t count, std::chrono::milliseconds timeout);

    // Bytes written by the card that the PC has not read yet.
    size_t Unread() const;

    // Hangs up: closes the master and the kept slave descriptor.
    void HangUp();

  private:
    carvex::UniqueFd master_;
    carvex::UniqueFd slave_keeper_;
    int give_up_ = -1;
    std::filesystem::path slave_path_;
};

}  // namespace cardsim
