#pragma once

#include <filesystem>
#include <optional>

#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/model/setting_file.h"

namespace cardwright {

struct ImportReport {
    bool card_different = false;  // the identity check refused the card: no file was asked for
    bool card_present = false;    // a card was attached while the file was loaded
    // How the chosen file's check ended; nullopt when no file was chosen.
    std::optional<SettingFileCheck> check;
    bool Loaded() const { return check == SettingFileCheck::kLoaded; }
};

// Loading a setting file into the values of a CardWorkState: the identity check, the file the
// view names, its seal and its values. Import never writes to the card.
class SettingFileImport {
  public:
    explicit SettingFileImport(const CardWorkSeams& seams) : seams_(seams) {}

    // The whole import up to its closing line "import file finished..." (left out after "file not
    // correct, import failed...").
    ImportReport Import(CardWorkState& state, const IniFile& description);

  private:
    // Every item back at its default, then the file's values and LED lines when its seal holds.
    // Without a card the pages are built anew and filtered by the file's card type.
    SettingFileCheck ImportFile(CardWorkState& state, const IniFile& description,
                                const std::filesystem::path& chosen, ImportReport& report);

    CardWorkSeams seams_;
};

}  // namespace cardwright
