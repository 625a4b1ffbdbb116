#include "cardwork/card/unattended_export.h"

#include "cardwork/card/card_reader.h"

namespace cardwright {

WorkResult ExportSolution(const CardWorkSeams& seams, CardWorkState& state,
                          const IniFile& description, const IniFile& values,
                          std::string_view section, const ExportTarget& target,
                          const OwnIniFiles& own) {
    if (!values.SectionExists(section)) {
        return WorkResult::Refused(
            WorkStep::kCheckingValues,
            "the values file holds no solution [" + std::string(section) + "]");
    }
    // What a read of such a card leaves: its generation, its type and the items it hides.
    state.config_led = values.ReadBool(section, "ConfigLed", true);
    state.new_version = target.new_version;
    ClearAllValues(state, seams.view);
    ApplyCardFilter(state, description, target.card_type, seams.view);
    state.card_type = target.card_type;
    state.info[CommonInfoRow::kCardType] = target.card_type;
    // Then the solution loaded, as choosing it in the window loads it.
    ClearAllValues(state, seams.view);
    LoadItemValues(state, values, section, seams.log, BadValue::kSkipKey);
    LoadLedInfo(state, values, section);
    return SettingFileExport(seams).Export(state, description, own);
}

WorkResult ExportCard(const CardWorkSeams& seams, CardWorkState& state, const IniFile& description,
                      const OwnIniFiles& own) {
    WorkResult read = CardReader(seams).ReadFromCardAndReport(state, description);
    if (!read.Ok()) {
        return read;
    }
    return SettingFileExport(seams).ExportToFile(state, own);
}

}  // namespace cardwright
