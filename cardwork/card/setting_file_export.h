#pragma once

#include <filesystem>

#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/model/setting_file.h"

namespace cardwright {

// How an export ended.
enum class ExportEnd {
    kCardDifferent,  // the identity check refused the card
    kNotValid,       // without a card, the values on screen did not pass their check
    kReadFailed,     // the fresh read from the card failed
    kCancelled,      // no file was chosen, or the card was not to be read again
    kRefused,        // the file chosen is one of the program's own
    kNotWritten,     // the file could not be written whole
    kWritten,
};

// Whether the program takes its configuration files up again after such an export: always,
// once the export got past its checks.
inline bool ReopensIniFiles(ExportEnd end) {
    return end != ExportEnd::kCardDifferent && end != ExportEnd::kNotValid;
}

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

    ExportEnd Export(CardWorkState& state, const IniFile& description, const OwnIniFiles& own);

    // Asks for the file and writes it whole: card type, version, the items, the device state
    // and (with ConfigLed) the LED lines, and the seal.
    ExportEnd ExportToFile(const CardWorkState& state, const OwnIniFiles& own);

  private:
    void Log(std::string_view message) { seams_.log.AddLog(message); }

    CardWorkSeams seams_;
};

}  // namespace cardwright
