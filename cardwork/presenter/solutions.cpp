#include "cardwork/presenter/solutions.h"

#include <algorithm>

namespace cardwright {

SolutionList ReadSolutionList(const IniFile& values) {
    SolutionList list;
    list.names = values.ReadSections();
    const auto main =
        std::find_if(list.names.begin(), list.names.end(),
                     [](const std::string& name) { return EqualIgnoringCase(name, kMainSection); });
    if (main != list.names.end()) {
        list.names.erase(main);
    }
    if (!values.SectionExists(kMainSection)) {
        return list;
    }
    const std::string current = values.ReadString(kMainSection, kCurrentKey, "");
    if (!values.SectionExists(current)) {
        list.selected = list.names.empty() ? -1 : 0;
        return list;
    }
    list.config_led = values.ReadBool(current, kConfigLedKey, true);
    const auto selected =
        std::find_if(list.names.begin(), list.names.end(),
                     [&](const std::string& name) { return EqualIgnoringCase(name, current); });
    if (selected != list.names.end()) {
        list.selected = static_cast<int>(selected - list.names.begin());
    }
    return list;
}

bool IsCardSolution(std::string_view name) {
    return EqualIgnoringCase(name, kCardSolution);
}

std::string TrimBlanks(std::string_view text) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

}  // namespace cardwright
