#pragma once

#include <filesystem>
#include <string>

#include "cardsim/card_profile.h"

namespace testsupport {

// The configurator's test data (tests/app/data/): a description in which every kind of item and
// every sharing rule appears, a values file with stored solutions and LED lines, and the profile
// of the simulated card that holds their NV items.
inline const std::filesystem::path kTestData = CARDWRIGHT_TEST_DATA_DIR;
// Its description file, as a command line names it.
inline const std::string kDescription = (kTestData / "Config_Info.ini").string();

// The test card's profile (tests/app/data/card.profile).
inline cardsim::CardProfile TestProfile() {
    return cardsim::LoadProfile(kTestData / "card.profile");
}

}  // namespace testsupport
