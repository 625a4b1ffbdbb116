#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace cardsim {

// The name of a simulated card's PC UI port, without its number.
inline const std::string kPcUi = "TAVRIO Linkwave - 3G PC UI Interface";

// An NV read (0x26) or write (0x27) request as the library sends it: the item in little endian
// and up to 128 bytes of data in a packet of 133.
inline std::vector<uint8_t> NvRequest(uint8_t command, uint16_t item,
                                      const std::vector<uint8_t>& data = {}) {
    std::vector<uint8_t> packet(133, 0);
    packet[0] = command;
    packet[1] = static_cast<uint8_t>(item & 0xFF);
    packet[2] = static_cast<uint8_t>(item >> 8);
    std::copy(data.begin(), data.end(), packet.begin() + 3);
    return packet;
}

}  // namespace cardsim
