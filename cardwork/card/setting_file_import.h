#pragma once

#include <filesystem>
#include <optional>

#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/card/work_result.h"
#include "cardwork/model/setting_file.h"

namespace cardwright {

// Loading a setting file into the values of a CardWorkState: the identity check, the file the
// view names, its seal and its values. Import never writes to the card.
class SettingFileImport {
  public:
    explicit SettingFileImport(const CardWorkSeams& seams) : seams_(seams) {}

    // The whole import up to its closing line "import file finished..." (left out after "file not
    // correct, import failed..."). Cancelled when no file was chosen; a file that does not load
    // is named in the reason.
    WorkResult Import(CardWorkState& state, const IniFile& description);
    // The file the last Import was given; nullopt when none was chosen.
    const std::optional<std::filesystem::path>& Chosen() const { return chosen_; }

  private:
    // Every item back at its default, then the file's values and LED lines when its seal holds.
    // Without a card the pages are built anew and filtered by the file's card type.
    SettingFileCheck ImportFile(CardWorkState& state, const IniFile& description,
                                const std::filesystem::path& chosen);

    CardWorkSeams seams_;
    std::optional<std::filesystem::path> chosen_;
};

}  // namespace cardwright
