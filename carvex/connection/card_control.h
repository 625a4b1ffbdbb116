#pragma once

#include <cstdint>

#include "carvex/connection/main_control.h"

namespace carvex {

// The card's NV backup, port setting and restart. Each runs under the caller's ConnectionGuard;
// status pointers may be null.

// Asks the card to back up its NV items and waits up to 20 s for its confirmation.
bool BackupNv(MainControl& connection, int32_t* status);

// Port setting: the state value and the port bit mask, one byte each on the wire.
bool SetPortSetting(MainControl& connection, int32_t value, int32_t bits, int32_t* status);
// True when a reply came; the outputs change only when the card says the setting is valid.
bool GetPortSetting(MainControl& connection, int32_t* value, int32_t* bits, int32_t* status);

// The DIAG status; succeeds only with a reply of exactly 47 bytes behind the command byte.
bool QueryStatus(MainControl& connection);
// The card's mode word (2 is offline) from the last successful QueryStatus.
uint16_t StatusModeWord(const MainControl& connection);

// Puts the card offline unless it already is: true when the card's status says it is offline.
bool GoOffline(MainControl& connection);
// Up to five reset commands until one is acknowledged; an acknowledgement that comes after its
// attempt's wait still counts.
bool ResetCard(MainControl& connection);

}  // namespace carvex
