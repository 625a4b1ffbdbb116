#pragma once

#include <cstdint>
#include <string>

#include "carvex/connection/main_control.h"

namespace carvex {

// Short DIAG queries that tell which card is attached. Each runs under the caller's
// ConnectionGuard; texts are read up to their first zero and never beyond their field.

// Firmware and PCB texts through the request that id 151 resolves to. The status keeps the
// resolution's code (40 or 41) on success.
bool QueryVersions(MainControl& connection, std::string* firmware, std::string* pcb,
                   int32_t* status);

// The dashboard's version text; a result byte of 1 fails without a status.
bool QueryDashboardVersion(MainControl& connection, std::string* text, int32_t* status);

// The card's board type (command FC).
bool QueryBoardType(MainControl& connection, std::string* text, int32_t* status);

// True when the card answers the new-version query with the mark 0x68.
bool QueryNewVersionMark(MainControl& connection, int32_t* status);

// The board type from a PCB text: what precedes the eight characters before " Ver".
bool BoardTypeFromPcb(const std::string& pcb, std::string* board_type);

}  // namespace carvex
