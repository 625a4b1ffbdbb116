#pragma once

#include <chrono>
#include <thread>

namespace testsupport {

// Looks at `condition` until it holds or `limit` has passed, so that a test whose other thread
// never gets there fails instead of hanging the suite. True when the condition came to hold.
// It looks every millisecond: a busy look would take a core from the threads and programs it
// waits for, of which many run at once in the suite.
template <class Condition>
bool WaitUntil(Condition condition,
               std::chrono::steady_clock::duration limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace testsupport
