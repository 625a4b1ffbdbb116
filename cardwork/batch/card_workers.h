#pragma once

#include <cstddef>
#include <functional>

namespace cardwright {

// Runs work(0) ... work(count - 1), at most `jobs` at a time (0: all at once), each on a thread
// of its own, and returns when all have ended. Each call takes the next index when the previous
// one it ran ends, so a slow card holds up none but its own thread. `work` must not throw.
void RunOnWorkers(size_t count, size_t jobs, const std::function<void(size_t)>& work);

}  // namespace cardwright
