#pragma once

#include <cstdint>

namespace carvex {

// DIAG command bytes and subsystems of the card exchanges.
inline constexpr uint8_t kDiagStatus = 0x0C;
inline constexpr uint8_t kDiagModeControl = 0x29;
inline constexpr uint8_t kDiagSubsystemDispatch = 0x4B;
inline constexpr uint8_t kDiagCardCommand = 0xFA;
inline constexpr uint8_t kDiagBoardType = 0xFC;
inline constexpr uint8_t kCardSubsystem = 0xC9;
inline constexpr uint8_t kPortSubsystem = 0x0F;

}  // namespace carvex
