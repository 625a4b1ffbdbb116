#include "tools/carvexctl/card_return.h"

#include <algorithm>

#include "carvex/link/port_discovery.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/port_diagnosis.h"

namespace carvexctl {

namespace {

constexpr std::chrono::milliseconds kPoll{100};

// Whether the card's PC UI interface is listed under that COM name.
bool Listed(const carvex::DeviceRoot& root, int port) {
    const auto entries = carvex::ListDiagPorts(root);
    return std::any_of(entries.begin(), entries.end(),
                       [&](const carvex::DiagPortEntry& e) { return e.com == port; });
}

// Looks at `done` until it holds or `limit` has passed on the library's clock.
template <class Done>
bool PollUntil(Done done, std::chrono::milliseconds limit) {
    const carvex::Clock& clock = carvex::GetClock();
    const auto give_up = clock.SteadyNow() + limit;
    for (;;) {
        if (done()) {
            return true;
        }
        if (clock.SteadyNow() >= give_up) {
            return false;
        }
        clock.SleepFor(kPoll);
    }
}

std::string Seconds(std::chrono::milliseconds duration) {
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(duration).count()) +
           " s";
}

}  // namespace

CardReturn WaitForReturn(const carvex::DeviceRoot& root, int port, cardwright::CardAccess& card,
                         const ReturnLimits& limits) {
    if (!PollUntil([&] { return !Listed(root, port); }, limits.gone)) {
        return {CardReturn::Outcome::kStayed, {}};
    }
    const bool back = PollUntil(
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
        limits.back);
    if (back) {
        return {CardReturn::Outcome::kBack, {}};
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
    }
    return {};
}

}  // namespace carvexctl
