#include "cardwork/batch/write_steps.h"

#include "cardwork/batch/work_refusal.h"
#include "cardwork/card/card_reader.h"
#include "cardwork/card/card_writer.h"
#include "cardwork/card/setting_file_import.h"
#include "cardwork/model/setting_crc.h"
#include "carvex/platform/printable_text.h"

namespace cardwright {

Description::Description(const std::filesystem::path& path) : file(path) {
    if (!file.Exists()) {
        throw WorkRefusal("cannot read the description " + path.string());
    }
    if (!file.SectionExists(kItemSection)) {
        throw WorkRefusal(path.string() +
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

namespace {

// A card type as a result names it: printable, "none" when empty.
std::string CardTypeWords(const std::string& type) {
    return type.empty() ? std::string("none") : carvex::PrintableText(type);
}

}  // namespace

WorkResult PrepareWrite(const CardWorkSeams& seams, UnattendedView& view, CardWorkState& state,
                        const IniFile& description, const std::filesystem::path& settings,
                        const SettingFileTarget& target) {
    WorkResult read = CardReader(seams).ReadFromCardAndReport(state, description);
    if (!read.Ok()) {
        return read;
    }
    // Both sides named: a bench of mixed cards shows at once which card is which.
    if (target.card_type != state.card_type) {
        return WorkResult::Refused(WorkStep::kCheckingCardType,
                                   "other card type (card " + CardTypeWords(state.card_type) +
                                       ", file " + CardTypeWords(target.card_type) + ")");
    }
    if (target.new_version != state.new_version) {
        const auto generation = [](bool new_version) { return new_version ? "newer" : "older"; };
        return WorkResult::Refused(WorkStep::kCheckingCardType,
                                   std::string("other firmware generation (card ") +
                                       generation(state.new_version) + ", file " +
                                       generation(target.new_version) + ")");
    }
    view.open_file = settings;
    return SettingFileImport(seams).Import(state, description);
}

std::vector<std::string> CaptionsOf(const CardWorkState& described, int32_t item) {
    const std::string number = std::to_string(item);
    std::vector<std::string> captions;
    for (const TConfigItem& config : described.items) {
        const bool holds = IsMultiValue(config) ? NamesNvItem(config.NvId, number)
                                                : NvItemNumber(config.NvId) == item;
        if (holds) {
            captions.push_back(DisplayText(config));
        }
    }
    return captions;
}

std::string TargetMismatch(const std::filesystem::path& settings, const SettingFileTarget& target,
                           const CardWorkState& card) {
    if (target.card_type != card.card_type) {
        return settings.string() + " is for the card type \"" + target.card_type +
               "\", the card is a \"" + card.card_type + "\"";
    }
    return settings.string() + " was exported from a card of the " +
           (target.new_version ? "newer" : "older") +
           " firmware generation, the card is of the other one";
}

}  // namespace cardwright
