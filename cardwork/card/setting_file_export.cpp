#include "cardwork/card/setting_file_export.h"

#include "cardwork/card/card_reader.h"
#include "cardwork/card/card_writer.h"

namespace cardwright {

ExportEnd SettingFileExport::Export(CardWorkState& state, const IniFile& description,
                                    const OwnIniFiles& own) {
    seams_.progress.Step(WorkStep::kLookingForCard);
    if (!CardPresent(seams_.card)) {
        // Without a card the values on screen are exported, once they check out.
        state.values.ResetUnchecked();
        if (!ValidateItems(state, seams_.log)) {
            return ExportEnd::kNotValid;
        }
        return ExportToFile(state, own);
    }
    if (!seams_.view.ConfirmReread()) {
        return ExportEnd::kCancelled;
    }
    CardReader reader(seams_);
    if (!reader.SameCardAs(state.card_type)) {
        return ExportEnd::kCardDifferent;
    }
    if (!reader.ReadFromCard(state, description).ok) {
        Log("Read from datacard failed");
        return ExportEnd::kReadFailed;
    }
    return ExportToFile(state, own);
}

ExportEnd SettingFileExport::ExportToFile(const CardWorkState& state, const OwnIniFiles& own) {
    const auto chosen = seams_.view.AskSaveFileName();
    if (!chosen) {
        return ExportEnd::kCancelled;
    }
    Log("start to export file...");
    const std::filesystem::path target = SettingFileName(*chosen);
    if (const auto refusal = OwnIniFileRefusal(target, own.description, own.values)) {
        Log(*refusal);
        seams_.view.ShowMessage(*refusal);
        return ExportEnd::kRefused;
    }
    SettingFile file;
    file.card_type = state.info[CommonInfoRow::kCardType];
    if (state.new_version) {
        Log("start to export versin info...");
        file.new_version = true;
    }

    Log("start to save common config item info...");
    const ShownItems shown = ShownOnScreen(state);
    ExportedItems exported = CommonItemEntries(state.items, shown, state.new_version);
    for (const std::string& line : exported.log) {
        Log(line);
    }
    file.values = std::move(exported.entries);

    Log("start to save device state item info...");
    if (auto entry = DeviceStateEntry(state.items, shown, state.new_version)) {
        file.values.push_back(std::move(*entry));
    }

    // The LED lines go into DEFAULT, whatever the current solution: that is the section an
    // import reads and the CRC seals.
    if (state.config_led) {
        Log("start export Led info...");
        if (!state.led.Writable()) {
            // Cleared rows exported as patterns would erase a card's patterns when imported.
            Log("LED settings not exported: none were read, loaded or edited...");
        } else {
            const auto lines = LedEntries(state.led);
            file.values.insert(file.values.end(), lines.begin(), lines.end());
        }
    }

    // Written whole: the previous file of that name stays as it was unless all of the new one
    // is on the disk.
    const SettingFileWritten written = WriteSettingFile(target, file);
    if (!written.Ok()) {
        Log("Export failed: " + written.error);
        seams_.view.ShowMessage("Export failed: " + written.error);
        return ExportEnd::kNotWritten;
    }
    Log("export file finished...");
    return ExportEnd::kWritten;
}

}  // namespace cardwright
