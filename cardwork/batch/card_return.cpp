#include "cardwork/batch/card_return.h"

#include <algorithm>

#include "cardwork/batch/work_stop.h"
#include "carvex/link/port_discovery.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/port_diagnosis.h"

namespace cardwright {

namespace {

constexpr std::chrono::milliseconds kPoll{100};

// Whether the card's PC UI interface is listed under that COM name.
bool Listed(const carvex::DeviceRoot& root, int port) {
    const auto entries = carvex::ListDiagPorts(root);
    return std::any_of(entries.begin(), entries.end(),
                       [&](const carvex::DiagPortEntry& e) { return e.com == port; });
}

enum class Polled { kDone, kTimeUp, kBrokenOff };

// Looks at `done` until it holds, `limit` has passed on the library's clock, or `stop` breaks
// the work off.
template <class Done>
Polled PollUntil(Done done, std::chrono::milliseconds limit, const WorkStop& stop) {
    const carvex::Clock& clock = carvex::GetClock();
    const auto give_up = clock.SteadyNow() + limit;
    for (;;) {
        if (done()) {
            return Polled::kDone;
        }
        if (stop.BrokenOff()) {
            return Polled::kBrokenOff;
        }
        if (clock.SteadyNow() >= give_up) {
            return Polled::kTimeUp;
        }
        clock.SleepFor(kPoll);
    }
}

std::string Seconds(std::chrono::milliseconds duration) {
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(duration).count()) +
           " s";
}

}  // namespace

CardReturn WaitForReturn(const carvex::DeviceRoot& root, int port, CardAccess& card,
                         const ReturnLimits& limits, const WorkStop& stop) {
    const Polled gone = PollUntil([&] { return !Listed(root, port); }, limits.gone, stop);
    if (gone != Polled::kDone) {
        return {gone == Polled::kBrokenOff ? CardReturn::Outcome::kBrokenOff
                                           : CardReturn::Outcome::kStayed,
                {}};
    }
    const Polled back = PollUntil(
        [&] {
            if (!Listed(root, port)) {
                return false;
            }
            if (card.Open()) {
                return true;
            }
            card.Close();
            return false;
        },
        limits.back, stop);
    if (back == Polled::kDone) {
        return {CardReturn::Outcome::kBack, {}};
    }
    if (back == Polled::kBrokenOff) {
        return {CardReturn::Outcome::kBrokenOff, {}};
    }
    // Listed but not opened: the port's own reason (another program holds it, ...).
    if (Listed(root, port)) {
        return {CardReturn::Outcome::kNotBack, carvex::ExplainUnopenablePort(root, port).sentence};
    }
    return {CardReturn::Outcome::kNotBack, {}};
}

std::string ReturnWords(const CardReturn& back, const ReturnLimits& limits) {
    switch (back.outcome) {
        case CardReturn::Outcome::kBack:
            return "the card is back";
        case CardReturn::Outcome::kStayed:
            return "the card acknowledged the restart but did not go away within " +
                   Seconds(limits.gone);
        case CardReturn::Outcome::kNotBack:
            if (!back.unusable.empty()) {
                return "the card came back, but within " + Seconds(limits.back) +
                       " its port could not be used: " + back.unusable;
            }
            return "the card did not come back within " + Seconds(limits.back);
        case CardReturn::Outcome::kBrokenOff:
            return "the wait for the card was broken off";
    }
    return {};
}

}  // namespace cardwright
