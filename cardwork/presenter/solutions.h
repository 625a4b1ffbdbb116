#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/model/ini_file.h"

namespace cardwright {

inline constexpr std::string_view kMainSection = "MAIN";
inline constexpr std::string_view kCurrentKey = "current";
inline constexpr std::string_view kConfigLedKey = "ConfigLed";
// The solution whose values are the card's own.
inline constexpr std::string_view kCardSolution = "DEFAULT";
inline constexpr std::string_view kSolutionExistsMessage = "The soluation name had exists...";

// The solution chooser as config_value.ini fills it.
struct SolutionList {
    // Every section of the file in file order, but the first MAIN (letter case aside).
    std::vector<std::string> names;
    // The entry MAIN's current names, the first entry when that section is missing, -1 when
    // there is no MAIN or no entry.
    int selected = -1;
    // The current solution's ConfigLed (true when missing); nullopt when MAIN or the section it
    // names is missing, which leaves the flag as it was.
    std::optional<bool> config_led;
};

SolutionList ReadSolutionList(const IniFile& values);

bool IsCardSolution(std::string_view name);

// A name as the new-solution dialog gives it: without blanks before and after.
std::string TrimBlanks(std::string_view text);

}  // namespace cardwright
