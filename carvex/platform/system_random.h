#pragma once

#include <cstdint>
#include <span>

namespace carvex {

// Fills `bytes` from the system's random source, which the kernel seeds from the hardware's
// noise. Throws std::runtime_error when the source fails.
void FillRandom(std::span<uint8_t> bytes);

}  // namespace carvex
