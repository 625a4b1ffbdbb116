#include "cardwork/card/setting_file_import.h"

#include "cardwork/card/card_reader.h"

namespace cardwright {

ImportReport SettingFileImport::Import(CardWorkState& state, const IniFile& description) {
    ImportReport report;
    if (!CardReader(seams_).SameCardAs(state.card_type)) {
        report.card_different = true;
    } else if (const auto chosen = seams_.view.AskOpenFileName()) {
        report.check = ImportFile(state, description, *chosen, report);
        if (report.check == SettingFileCheck::kNoValues ||
            report.check == SettingFileCheck::kBadValue) {
            seams_.log.AddLog("file not correct, import failed...");
            return report;
        }
    }
    seams_.log.AddLog("import file finished...");
    return report;
}

SettingFileCheck SettingFileImport::ImportFile(CardWorkState& state, const IniFile& description,
                                               const std::filesystem::path& chosen,
                                               ImportReport& report) {
    const IniFile file(chosen);
    {
        CardSession card(seams_.card);
        report.card_present = card.Opened();
        if (!card.Opened()) {
            // No card to go by: the pages are built anew and filtered by the file's card type.
            card.Close();
            seams_.view.RebuildPages(state, description);
        }
        ClearAllValues(state, seams_.view);
        state.values.ResetUnchecked();
        if (!card.Opened()) {
            ApplyCardFilter(state, description,
                            file.ReadString(kDataCardTypeSection, kValueKey, ""), seams_.view);
        }
    }
    if (!file.SectionExists(kValuesSection)) {
        return SettingFileCheck::kNoValues;
    }
    if (!VerifySettingCrc(file, state.new_version)) {
        seams_.log.AddLog("CRC Verify failed, Import failed...");
        return SettingFileCheck::kCrcFailed;
    }
    if (!LoadItemValues(state, file, kValuesSection, seams_.log)) {
        return SettingFileCheck::kBadValue;
    }
    LoadLedInfo(state, file, kValuesSection);
    return SettingFileCheck::kLoaded;
}

}  // namespace cardwright
