#include "cardwork/batch/card_workers.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace cardwright {

void RunOnWorkers(size_t count, size_t jobs, const std::function<void(size_t)>& work) {
    const size_t threads = jobs == 0 ? count : std::min(jobs, count);
    std::atomic<size_t> next{0};
    std::vector<std::jthread> workers;
    workers.reserve(threads);
    for (size_t i = 0; i < threads; ++i) {
        workers.emplace_back([&] {
            for (size_t index = next++; index < count; index = next++) {
                work(index);
            }
        });
    }
}

}  // namespace cardwright
