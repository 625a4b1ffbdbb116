#pragma once

#include <chrono>

namespace carvex {

// Blocks the calling thread for `duration` of real time. Only the Clock pauses through it.
void PauseFor(std::chrono::nanoseconds duration);

}  // namespace carvex
