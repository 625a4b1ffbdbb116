#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

namespace cardwright {

// How work on cards is told to stop from outside (Ctrl-C, SIGTERM, a station closing). Once
// stopped no further card is begun, and each card being worked may finish within a grace period;
// when that is over, or at once when the work is broken off, a card's work ends at its next call
// to the card, "interrupted at <step>". One object serves every card of a run; any thread may
// call any member. Times are the library's clock's.
class WorkStop {
  public:
    static constexpr std::chrono::milliseconds kGrace{60000};

    // No card is begun from now on; the cards being worked have `grace` to finish. `why` names
    // what asked ("SIGINT"); a second Stop changes neither.
    void Stop(const std::string& why, std::chrono::milliseconds grace = kGrace);
    // The cards being worked end at their next call to the card.
    void BreakOff(const std::string& why);

    bool Stopping() const;
    bool BrokenOff() const;
    std::string Why() const;
    // The grace a card being worked was given, in words: "60 s".
    std::string GraceWords() const;

  private:
    mutable std::mutex mutex_;
    bool stopping_ = false;
    bool broken_off_ = false;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    std::chrono::milliseconds grace_{kGrace};
    std::string why_;
};

}  // namespace cardwright
