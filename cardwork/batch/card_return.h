#pragma once

#include <chrono>
#include <string>

#include "cardwork/card/card_access.h"
#include "carvex/platform/device_root.h"

namespace cardwright {

class WorkStop;

// How long a restarted card may take: to go away once it has acknowledged the restart, and to be
// back and answering after that (a real card enumerates anew on the USB bus).
struct ReturnLimits {
    static constexpr std::chrono::milliseconds kGoneLimit{20000};
    static constexpr std::chrono::milliseconds kBackLimit{60000};

    std::chrono::milliseconds gone = kGoneLimit;
    std::chrono::milliseconds back = kBackLimit;
};

struct CardReturn {
    enum class Outcome {
        kBack,       // gone and back under the same COM name, and open again
        kStayed,     // its port never went away
        kNotBack,    // gone, and not back (or not answering) in time
        kBrokenOff,  // the wait was broken off from outside
    };
    Outcome outcome = Outcome::kNotBack;
    // kNotBack with its port listed again: why the port could not be used ("COM12 (/dev/ttyUSB2)
    // is in use by minicom (pid 700)"); empty when the port never came back.
    std::string unusable;
};

// Waits for the card whose PC UI interface is COM`port` to come back after a restart: its ports
// vanish from the device root and return under the same COM names. Looks at the device root
// every kPoll through the library's clock; once the port is listed again, opens `card` (until it
// answers or the time is up). The card is left open when it came back. Ends at once, broken off,
// when `stop` breaks the work off.
CardReturn WaitForReturn(const carvex::DeviceRoot& root, int port, CardAccess& card,
                         const ReturnLimits& limits, const WorkStop& stop);

// "the card did not come back within 60 s", "the card came back, but within 60 s its port
// could not be used: COM12 (/dev/ttyUSB2) is in use by minicom (pid 700)", ...
std::string ReturnWords(const CardReturn& back, const ReturnLimits& limits);

}  // namespace cardwright
