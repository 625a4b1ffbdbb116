#pragma once

#include <cstddef>
#include <cstdint>

namespace carvex {

// DIAG command bytes of the card exchanges.
inline constexpr uint8_t kDiagStatus = 0x0C;
inline constexpr uint8_t kDiagModeControl = 0x29;
inline constexpr uint8_t kDiagSubsystemDispatch = 0x4B;
inline constexpr uint8_t kDiagCardCommand = 0xFA;
inline constexpr uint8_t kDiagBoardType = 0xFC;

// Subsystems behind 0x4B and their command codes (little-endian on the wire).
inline constexpr uint8_t kCardSubsystem = 0xC9;
inline constexpr uint16_t kDashboardCode = 0xFF24;
inline constexpr uint16_t kNewVersionCode = 0xFF62;
inline constexpr uint8_t kPortSubsystem = 0x0F;
inline constexpr uint16_t kPortSettingSetCode = 0xFF19;
inline constexpr uint16_t kPortSettingGetCode = 0xFF1A;

// The card command 0xFA's sub-command that backs up the NV items.
inline constexpr uint8_t kBackupSubcommand = 0x13;

// Mode control (0x29) requests, and the mode word of the status reply.
inline constexpr uint8_t kModeOffline = 1;
inline constexpr uint8_t kModeReset = 2;
inline constexpr size_t kStatusReplyLength = 47;  // behind the command byte
inline constexpr size_t kStatusModeOffset = 31;   // behind the command byte, 16-bit
inline constexpr uint16_t kModeWordOffline = 2;

}  // namespace carvex
