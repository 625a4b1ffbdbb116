#include <thread>

#include "carvex/platform/pause.h"

namespace carvex {

void PauseFor(std::chrono::nanoseconds duration) {
    std::this_thread::sleep_for(duration);
}

}  // namespace carvex
