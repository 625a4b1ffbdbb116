#include "cardwork/card/setting_file_import.h"

#include "cardwork/card/card_reader.h"
#include "cardwork/model/utf8_path.h"

namespace cardwright {

namespace {

// Why the chosen file did not load, in words.
std::string NotLoaded(SettingFileCheck check, const std::filesystem::path& file) {
    switch (check) {
        case SettingFileCheck::kNoValues:
            return Utf8FromPath(file) + " holds no setting values";
        case SettingFileCheck::kCrcFailed:
            return "the CRC of " + Utf8FromPath(file) +
                   " does not hold (changed, or made for the other card generation)";
        case SettingFileCheck::kBadValue:
            return "a value in " + Utf8FromPath(file) + " is not a number (see the log)";
        case SettingFileCheck::kLoaded:
            break;
    }
    return {};
}

}  // namespace

WorkResult SettingFileImport::Import(CardWorkState& state, const IniFile& description) {
    chosen_.reset();
    if (!CardReader(seams_).SameCardAs(state.card_type)) {
        seams_.log.AddLog("import file finished...");
        return CardDifferent(seams_.card);
    }
    const auto chosen = seams_.view.AskOpenFileName();
    chosen_ = chosen;
    if (!chosen) {
        seams_.log.AddLog("import file finished...");
        return WorkResult::Cancelled(WorkStep::kChoosingFile);
    }
    const SettingFileCheck check = ImportFile(state, description, *chosen);
    if (check == SettingFileCheck::kNoValues || check == SettingFileCheck::kBadValue) {
        seams_.log.AddLog("file not correct, import failed...");
    } else {
        seams_.log.AddLog("import file finished...");
    }
    if (check != SettingFileCheck::kLoaded) {
        return WorkResult::Failed(WorkStep::kImportingFile, NotLoaded(check, *chosen));
    }
    return WorkResult::Done();
}

SettingFileCheck SettingFileImport::ImportFile(CardWorkState& state, const IniFile& description,
                                               const std::filesystem::path& chosen) {
    const IniFile file(chosen);
    {
        CardSession card(seams_.card);
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
