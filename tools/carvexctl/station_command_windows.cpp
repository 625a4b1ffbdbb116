#include "tools/carvexctl/station_command.h"

namespace carvexctl {

ExitStatus RunStation(const StationOptions& /*options*/, const std::vector<int>& /*ports*/,
                      const std::string& /*version*/) {
    throw Failure("station is not available on Windows: use apply for the cards plugged in");
}

}  // namespace carvexctl
