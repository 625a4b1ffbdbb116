#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "carvex/connection/main_control.h"
#include "carvex/link/at_port.h"

namespace carvex {

// What an exported function does on its connection, for the exports (on the process's one
// connection) and for CardConnection (on a connection of its own) alike. Each runs under the
// caller's ConnectionGuard unless it says otherwise.

// Reads NV item `item` and copies up to 128 of its data bytes into `buffer`.
bool ReadItem(MainControl& connection, uint16_t item, std::span<uint8_t> buffer, int32_t* status);
// Writes NV item `item`: `data` (at most 128 bytes) zero-padded to 128; false without an
// exchange for more than 128 bytes.
bool WriteItem(MainControl& connection, uint16_t item, std::span<const uint8_t> data);

// The card's model as its modem port answers "AT+CGMM": that of the first modem, or of the
// modem that carries `card_mark` when one is given. Needs no connection and takes no lock.
bool ModelFromModemPort(const DeviceRoot& root, std::optional<std::string_view> card_mark,
                        AtPort::PortVariable variable, std::string* model);
// The board type over DIAG: the card's board-type query, else the PCB text before " Ver".
bool BoardTypeOverDiag(MainControl& connection, std::string* board_type);

// Takes the card offline and makes it restart: true when it acknowledged the reset.
bool RestartCard(MainControl& connection);

}  // namespace carvex
