// A central server gone for a whole minute while the station works cards and is killed.
#include "tests/station/central_station.h"

namespace stationtest {
namespace {

TEST_F(CentralStationTest, RecordsWaitingThroughAMinutesOutageAndAKillArriveOnceInOrder) {
    ForwardThroughAnOutage(std::chrono::seconds(60));
}

}  // namespace
}  // namespace stationtest
