#include "cardwork/card/setting_file_export.h"

#include "cardwork/card/card_reader.h"
#include "cardwork/card/card_writer.h"
#include "cardwork/model/utf8_path.h"

namespace cardwright {

bool ReopensIniFiles(const WorkResult& end) {
    const bool checks_refused =
        end.outcome == WorkOutcome::kRefused && end.step == WorkStep::kCheckingCardType;
    const bool values_failed =
        end.outcome == WorkOutcome::kFailed && end.step == WorkStep::kCheckingValues;
    return !checks_refused && !values_failed;
}

WorkResult SettingFileExport::Export(CardWorkState& state, const IniFile& description,
                                     const OwnIniFiles& own) {
    reread_.reset();
    chosen_.reset();
    seams_.progress.Step(WorkStep::kLookingForCard);
    if (!CardPresent(seams_.card)) {
        // Without a card the values on screen are exported, once they check out.
        state.values.ResetUnchecked();
        if (!ValidateItems(state, seams_.log)) {
            return WorkResult::Failed(WorkStep::kCheckingValues,
                                      "a value did not pass its check (see the log)");
        }
        return ExportToFile(state, own);
    }
    if (!seams_.view.ConfirmReread()) {
        return WorkResult::Cancelled(WorkStep::kLookingForCard);
    }
    CardReader reader(seams_);
    if (!reader.SameCardAs(state.card_type)) {
        return CardDifferent(seams_.card);
    }
    reread_ = reader.ReadFromCard(state, description);
    if (!reread_->Ok()) {
        Log("Read from datacard failed");
        const std::string trouble = seams_.card.Trouble();
        return WorkResult::Failed(
            reread_->step, "the card could not be read" + (trouble.empty() ? "" : ": " + trouble));
    }
    return ExportToFile(state, own);
}

WorkResult SettingFileExport::ExportToFile(const CardWorkState& state, const OwnIniFiles& own) {
    const auto chosen = seams_.view.AskSaveFileName();
    chosen_ = chosen;
    if (!chosen) {
        return WorkResult::Cancelled(WorkStep::kChoosingFile);
    }
    Log("start to export file...");
    const std::filesystem::path target = SettingFileName(*chosen);
    if (const auto refusal = OwnIniFileRefusal(target, own.description, own.values)) {
        Log(*refusal);
        seams_.view.ShowMessage(*refusal);
        return WorkResult::Refused(
            WorkStep::kChoosingFile,
            Utf8FromPath(target) + " is one of the configurator's own files");
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
        return WorkResult::Failed(WorkStep::kWritingFile,
                                  Utf8FromPath(target) + " could not be written (see the log)");
    }
    Log("export file finished...");
    return WorkResult::Done();
}

}  // namespace cardwright
