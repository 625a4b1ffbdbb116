#include "cardwork/card/stream_log.h"

#include <ctime>
#include <mutex>

namespace cardwright {

std::string LocalTimestamp(ModelClock::WallTime when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    {
        // std::localtime hands out one buffer to every caller.
        static std::mutex buffer;
        const std::lock_guard lock(buffer);
        local = *std::localtime(&seconds);
    }
    char text[32];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, length);
}

void StreamLog::AddLog(std::string_view message) {
    out_ << LocalTimestamp(AppClock().Now()) << "  " << message << '\n' << std::flush;
}

}  // namespace cardwright
