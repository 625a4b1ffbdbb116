#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/card/work_result.h"
#include "cardwork/model/ini_file.h"

namespace carvexctl {

// The steps `write` and `apply` share, each on one card through the card-work layer's seams:
// the files checked before any card is touched, then the card read, checked against the file
// and the file imported, as the configurator does from its start-up read to its Import.

// The description's items, each with a value box when the window's pages give it one. Throws
// Refusal when the file cannot be read or describes no items.
struct Description {
    explicit Description(const std::filesystem::path& path);

    cardwright::IniFile file;
    cardwright::CardWorkState state;
};

// Why the setting file is refused before any card is touched, or nullopt when it would load as
// the window loads it: its seal (for the format it has), every value, and the check before
// writing.
std::optional<std::string> SettingFileRefusal(const std::filesystem::path& path,
                                              const cardwright::CardWorkState& described);

// The card a setting file was exported from: its card type and firmware generation.
struct SettingFileTarget {
    std::string card_type;
    bool new_version = false;

    static SettingFileTarget Of(const std::filesystem::path& settings);
};

// A command line has no one to ask: the setting file is the one named, and a message goes to
// standard error (or nowhere) after the log line that says the same.
class CommandLineView : public cardwright::CardWorkView {
  public:
    explicit CommandLineView(bool show_messages = true) : show_messages_(show_messages) {}

    void ShowMessage(std::string_view text) override;
    std::optional<std::filesystem::path> AskOpenFileName() override { return open_file; }

    std::optional<std::filesystem::path> open_file;

  private:
    bool show_messages_;
};

// The card read as the window reads it at start-up (which records its type and generation and
// which of its items it holds), checked against the file, and the file imported into what was
// read. `state` is the description's, and `view` the one the seams name. Ok when the card is
// ready for the Write; else the read's or the import's failure, or refused for "other card
// type" or "other firmware generation".
cardwright::WorkResult PrepareWrite(const cardwright::CardWorkSeams& seams, CommandLineView& view,
                                    cardwright::CardWorkState& state,
                                    const cardwright::IniFile& description,
                                    const std::filesystem::path& settings,
                                    const SettingFileTarget& target);

// How the card read differs from the one the setting file was exported from, in a sentence.
std::string TargetMismatch(const std::filesystem::path& settings, const SettingFileTarget& target,
                           const cardwright::CardWorkState& card);

}  // namespace carvexctl
