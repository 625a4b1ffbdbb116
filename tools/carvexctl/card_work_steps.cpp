#include "tools/carvexctl/card_work_steps.h"

#include <iostream>

#include "cardwork/card/card_writer.h"
#include "cardwork/card/setting_file_import.h"
#include "cardwork/model/setting_crc.h"
#include "tools/carvexctl/card_session.h"
#include "tools/carvexctl/command_failure.h"

namespace carvexctl {

using namespace cardwright;

Description::Description(const std::filesystem::path& path) : file(path) {
    if (!file.Exists()) {
        throw Refusal("cannot read the description " + path.string());
    }
    if (!file.SectionExists(kItemSection)) {
        throw Refusal(path.string() +
                      " is no description of items: it has no [CONFIG_ITEM] section");
    }
    DescribeItems(state, file);
    // The card solution's LED flag, as a values file without one has it.
    state.config_led = true;
}

std::optional<std::string> SettingFileRefusal(const std::filesystem::path& path,
                                              const CardWorkState& described) {
    const IniFile file(path);
    const std::string name = path.string();
    const bool new_format = file.SectionExists(kVersionSection);
    const ImportedSettingFile imported =
        ReadSettingFile(file, described.items, ValueBoxes(described), new_format);
    switch (imported.check) {
        case SettingFileCheck::kNoValues:
            return name + " is no setting file: it has no [DEFAULT] section to import";
        case SettingFileCheck::kCrcFailed:
            return name +
                   " is refused: its CRC does not match its values (the file was changed after "
                   "it was exported)";
        case SettingFileCheck::kBadValue:
            return name + " is refused: " + imported.values.error;
        case SettingFileCheck::kLoaded:
            break;
    }
    CardWorkState values = described;
    CardWorkView no_view;
    ClearAllValues(values, no_view);
    values.values.ResetUnchecked();
    struct Lines : LogSink {
        void AddLog(std::string_view message) override { text += "\n  " + std::string(message); }
        std::string text;
    } lines;
    LoadItemValues(values, file, kValuesSection, lines);
    LoadLedInfo(values, file, kValuesSection);
    if (!ValidateItems(values, lines)) {
        return name + " is refused: its values do not pass the check before writing:" + lines.text;
    }
    return std::nullopt;
}

SettingFileTarget SettingFileTarget::Of(const std::filesystem::path& settings) {
    const IniFile file(settings);
    return {file.ReadString(kDataCardTypeSection, kValueKey, ""),
            file.SectionExists(kVersionSection)};
}

void CommandLineView::ShowMessage(std::string_view text) {
    if (show_messages_) {
        std::cerr << "carvexctl: " << text << std::endl;
    }
}

PreparedCard PrepareWrite(const CardWorkSeams& seams, CommandLineView& view, CardWorkState& state,
                          const IniFile& description, const std::filesystem::path& settings,
                          const SettingFileTarget& target) {
    PreparedCard prepared;
    prepared.read = CardReader(seams).ReadFromCardAndReport(state, description);
    if (!prepared.read.opened) {
        prepared.outcome = Preparation::kNotOpened;
    } else if (prepared.read.card_lost) {
        prepared.outcome = Preparation::kCardGone;
    } else if (!prepared.read.ok) {
        prepared.outcome = Preparation::kReadBroken;
    } else if (target.card_type != state.card_type) {
        prepared.outcome = Preparation::kOtherType;
    } else if (target.new_version != state.new_version) {
        prepared.outcome = Preparation::kOtherGeneration;
    } else {
        view.open_file = settings;
        prepared.outcome = SettingFileImport(seams).Import(state, description).Loaded()
                               ? Preparation::kReady
                               : Preparation::kNotImported;
    }
    return prepared;
}

std::string PreparationWords(Preparation outcome, const std::filesystem::path& settings,
                             const SettingFileTarget& target, const CardWorkState& card, int port) {
    switch (outcome) {
        case Preparation::kReady:
            return {};
        case Preparation::kNotOpened:
            return "the card could not be opened";
        case Preparation::kCardGone:
            return "the card could not be read: " + GoneWords(port) + "; nothing was written";
        case Preparation::kReadBroken:
            return "the card could not be read: an item's description cannot be used (see the "
                   "log); nothing was written";
        case Preparation::kOtherType:
            return settings.string() + " is for the card type \"" + target.card_type +
                   "\", the card is a \"" + card.card_type + "\": nothing was written";
        case Preparation::kOtherGeneration:
            return settings.string() + " was exported from a card of the " +
                   (target.new_version ? "newer" : "older") +
                   " firmware generation, the card is of the other one: nothing was written";
        case Preparation::kNotImported:
            return settings.string() + " could not be imported (see the log): nothing was written";
    }
    return {};
}

}  // namespace carvexctl
