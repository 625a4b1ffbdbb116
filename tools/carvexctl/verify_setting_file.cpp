#include "tools/carvexctl/verify_setting_file.h"

#include <string>

#include "cardwork/card/card_work_state.h"
#include "cardwork/json/json_document.h"
#include "cardwork/model/config_item.h"
#include "cardwork/model/defaulted_items.h"
#include "cardwork/model/ini_file.h"
#include "cardwork/model/setting_crc.h"
#include "cardwork/model/setting_file.h"
#include "carvex/platform/printable_text.h"
#include "carvex/platform/whole_file.h"
#include "tools/carvexctl/command_failure.h"

namespace carvexctl {

namespace fs = std::filesystem;
using cardwright::IniFile;

namespace {

// An INI file that is there and can be read: IniFile reads anything else as empty.
IniFile Readable(const fs::path& path) {
    const carvex::WholeFile file = carvex::ReadWholeFile(path, IniFile::kMaxFileBytes);
    const std::string name = carvex::PrintableText(path.string());
    if (file.stamp.kind == carvex::FileStamp::Kind::kMissing) {
        throw Failure(name + " does not exist");
    }
    if (file.stamp.kind != carvex::FileStamp::Kind::kFile) {
        throw Failure(name + " is not a file");
    }
    if (file.error) {
        throw Failure("cannot read " + name + ": " + file.error.message());
    }
    return IniFile(path);
}

// What verify found, in the order it checks: each step only when the one before passed.
struct Verdict {
    std::string file;
    bool setting_file = false;  // the file has a [DEFAULT] section with values
    std::string card_type;
    bool new_version = false;
    bool seal_holds = false;
    int64_t stored_crc = -1;  // -1: the file has none
    std::optional<int64_t> computed_crc;
    std::optional<std::string> description;
    std::optional<std::string> decode_error;  // set when a value does not decode
    size_t item_values = 0;
    bool led_lines = false;
    std::optional<cardwright::DefaultedItems> left_to_defaults;

    bool Importable() const {
        return setting_file && seal_holds && (!description || !decode_error);
    }
};

// Whether every value decodes against the description, as an import that shows every item
// decodes it, and which items a write of it would send at their defaults.
void DecodeValues(Verdict& verdict, const IniFile& file, const fs::path& description) {
    const IniFile described = Readable(description);
    const auto items = cardwright::ReadConfigItems(described);
    verdict.description = description.string();
    if (!items) {
        throw Failure(carvex::PrintableText(description.string()) +
                      " describes no items (it has no [CONFIG_ITEM] section)");
    }
    const auto every_item_has_a_box = [](const cardwright::TConfigItem&) { return true; };
    const auto imported =
        cardwright::ReadSettingFile(file, *items, every_item_has_a_box, verdict.new_version);
    if (imported.check == cardwright::SettingFileCheck::kBadValue) {
        verdict.decode_error = imported.values.error;
        return;
    }
    verdict.item_values = imported.values.values.size();
    verdict.led_lines = imported.led && imported.led->Writable();
    // What a write of it sends besides its own values: the items on the window's pages that it
    // leaves at their defaults.
    const auto pages =
        cardwright::ReadConfigPages(described).value_or(std::vector<cardwright::ConfigPage>{});
    const auto on_page = [&pages](const cardwright::TConfigItem& item) {
        return cardwright::ItemOnBuiltPage(item, pages);
    };
    verdict.left_to_defaults =
        cardwright::ItemsLeftToDefaults(*items, on_page, file, verdict.new_version);
}

Verdict Verify(const fs::path& settings, const std::optional<fs::path>& description) {
    const IniFile file = Readable(settings);
    Verdict verdict;
    verdict.file = settings.string();
    verdict.setting_file = file.SectionExists(cardwright::kValuesSection);
    if (!verdict.setting_file) {
        return verdict;
    }
    verdict.card_type =
        file.ReadString(cardwright::kDataCardTypeSection, cardwright::kValueKey, "");
    // The seal, for the format the file says it has: a VERSION section is written exactly when
    // the file was sealed with the new-version flag.
    verdict.new_version = file.SectionExists(cardwright::kVersionSection);
    verdict.computed_crc = cardwright::ComputeSettingCrc(file, verdict.new_version);
    verdict.stored_crc = cardwright::StoredSettingCrc(file);
    verdict.seal_holds = verdict.computed_crc && *verdict.computed_crc == verdict.stored_crc;
    if (verdict.seal_holds && description) {
        DecodeValues(verdict, file, *description);
    }
    return verdict;
}

void PrintVerdict(std::ostream& out, const Verdict& verdict) {
    using carvex::PrintableText;
    if (!verdict.setting_file) {
        out << PrintableText(verdict.file)
            << " has no [DEFAULT] section with values: it is not a setting file.\n";
        return;
    }
    if (!verdict.card_type.empty()) {
        out << "Card type: " << PrintableText(verdict.card_type) << "\n";
    }
    const std::string format = verdict.new_version ? "new-version file" : "file without a version";
    if (!verdict.seal_holds) {
        out << "The seal does not hold: ";
        if (verdict.stored_crc < 0) {
            out << "the file has no CRC value";
        } else {
            out << "the file says CRC " << verdict.stored_crc << ", its values give "
                << verdict.computed_crc.value_or(0);
        }
        out << " (" << format
            << "); it was changed after it was saved, and an import refuses it.\n";
        return;
    }
    out << "The seal holds (CRC " << verdict.stored_crc << ", " << format << ").\n";
    if (!verdict.description) {
        return;
    }
    const std::string name = PrintableText(*verdict.description);
    if (verdict.decode_error) {
        out << "A value does not decode against " << name << ": "
            << PrintableText(*verdict.decode_error) << "\n";
        return;
    }
    out << "Every value decodes against " << name << " (" << verdict.item_values << " item values"
        << (verdict.led_lines ? ", LED lines" : "") << ").\n";
    out << PrintableText(verdict.left_to_defaults->Sentence()) << ".\n";
}

cardwright::Json VerdictJson(const Verdict& verdict) {
    using cardwright::Json;
    using cardwright::TextOrNull;
    const bool checked = verdict.setting_file;
    const bool decoded = verdict.description && !verdict.decode_error && verdict.left_to_defaults;
    const auto unless = [](bool known, Json value) { return known ? std::move(value) : Json(); };
    return {
        {"file", verdict.file},
        {"importable", verdict.Importable()},
        {"setting_file", verdict.setting_file},
        {"card_type", TextOrNull(verdict.card_type)},
        {"new_version", unless(checked, verdict.new_version)},
        {"seal_holds", unless(checked, verdict.seal_holds)},
        {"stored_crc", unless(checked && verdict.stored_crc >= 0, verdict.stored_crc)},
        {"computed_crc",
         unless(checked && verdict.computed_crc.has_value(), verdict.computed_crc.value_or(0))},
        {"description", verdict.description ? Json(*verdict.description) : Json()},
        {"values_decode", unless(verdict.description.has_value(), !verdict.decode_error)},
        {"decode_error", verdict.decode_error ? Json(*verdict.decode_error) : Json()},
        {"item_values", unless(decoded, verdict.item_values)},
        {"led_lines", unless(decoded, verdict.led_lines)},
        {"left_to_defaults",
         unless(decoded, decoded ? Json(verdict.left_to_defaults->captions) : Json())},
    };
}

}  // namespace

bool VerifySettingFile(std::ostream& out, const fs::path& settings,
                       const std::optional<fs::path>& description, bool json) {
    const Verdict verdict = Verify(settings, description);
    if (json) {
        cardwright::PrintJsonDocument(out, VerdictJson(verdict));
    } else {
        PrintVerdict(out, verdict);
    }
    return verdict.Importable();
}

}  // namespace carvexctl
