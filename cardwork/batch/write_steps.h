#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/card/work_result.h"
#include "cardwork/model/ini_file.h"

namespace cardwright {

// The steps that writing a setting file onto a card without a window takes (one card, or a batch
// of them), each through the card work's seams: the files checked before any card is touched,
// then the card read, checked against the file and the file imported, as the configurator does
// from its start-up read to its Import.

// The description's items, each with a value box when the window's pages give it one. Throws
// WorkRefusal when the file cannot be read or describes no items.
struct Description {
    explicit Description(const std::filesystem::path& path);

    IniFile file;
    CardWorkState state;
};

// Why the setting file is refused before any card is touched, or nullopt when it would load as
// the window loads it: its seal (for the format it has), every value, and the check before
// writing.
std::optional<std::string> SettingFileRefusal(const std::filesystem::path& path,
                                              const CardWorkState& described);

// The card a setting file was exported from: its card type and firmware generation.
struct SettingFileTarget {
    std::string card_type;
    bool new_version = false;

    static SettingFileTarget Of(const std::filesystem::path& settings);
};

// Work with no one to ask: the setting file to import, or to export to, is the one named. A
// message the window would show is in the log already (the line before it says the same); a
// program that has someone to tell overrides ShowMessage.
class UnattendedView : public CardWorkView {
  public:
    std::optional<std::filesystem::path> AskOpenFileName() override { return open_file; }
    std::optional<std::filesystem::path> AskSaveFileName() override { return save_file; }

    std::optional<std::filesystem::path> open_file;
    std::optional<std::filesystem::path> save_file;
};

// The card read as the window reads it at start-up (which records its type and generation and
// which of its items it holds), checked against the file, and the file imported into what was
// read. `state` is the description's, and `view` the one the seams name. Ok when the card is
// ready for the Write; else the read's or the import's failure, or refused for "other card
// type (card LW-X4207, file LW-X4201)" or "other firmware generation (card newer, file older)".
WorkResult PrepareWrite(const CardWorkSeams& seams, UnattendedView& view, CardWorkState& state,
                        const IniFile& description, const std::filesystem::path& settings,
                        const SettingFileTarget& target);

// The DISPLAY texts of the described items that NV item `item` holds (a field of a multi-value
// item counts), in the description's order.
std::vector<std::string> CaptionsOf(const CardWorkState& described, int32_t item);

// How the card read differs from the one the setting file was exported from, in a sentence.
std::string TargetMismatch(const std::filesystem::path& settings, const SettingFileTarget& target,
                           const CardWorkState& card);

}  // namespace cardwright
