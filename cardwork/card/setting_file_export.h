#pragma once

#include <filesystem>
#include <optional>

#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/card/work_result.h"
#include "cardwork/model/setting_file.h"

namespace cardwright {

// Whether the program takes its configuration files up again after an export that came to
// `end`: always, once the export got past its checks (the identity check with a card, the
// values' check without one).
bool ReopensIniFiles(const WorkResult& end);

// The program's own INI files, which no export may write over.
struct OwnIniFiles {
    std::filesystem::path description;
    std::filesystem::path values;
};

// Saving the values of a CardWorkState into a setting file sealed with its CRC: with a card
// attached, the card as a fresh read finds it; without one, the values on screen.
class SettingFileExport {
  public:
    explicit SettingFileExport(const CardWorkSeams& seams) : seams_(seams) {}

    // Refused by the identity check or for a file of the program's own; failed at the values'
    // check, the fresh read or the writing of the file; cancelled when the card was not to be
    // read again or no file was chosen.
    WorkResult Export(CardWorkState& state, const IniFile& description, const OwnIniFiles& own);

    // Asks for the file and writes it whole: card type, version, the items, the device state
    // and (with ConfigLed) the LED lines, and the seal.
    WorkResult ExportToFile(const CardWorkState& state, const OwnIniFiles& own);

    // The fresh read of the card the last Export made, when it made one: the values shown are
    // then the card's, or none when it failed.
    const std::optional<WorkResult>& Reread() const { return reread_; }
    // The file the last Export was given, as chosen (SettingFileName gives the file written);
    // nullopt when none was chosen.
    const std::optional<std::filesystem::path>& Chosen() const { return chosen_; }

  private:
    void Log(std::string_view message) { seams_.log.AddLog(message); }

    CardWorkSeams seams_;
    std::optional<WorkResult> reread_;
    std::optional<std::filesystem::path> chosen_;
};

}  // namespace cardwright
