#include "tools/carvexctl/verify_setting_file.h"

#include <string>

#include "cardwork/card/card_work_state.h"
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

// The seal, for the format the file says it has: a VERSION section is written exactly when the
// file was sealed with the new-version flag.
bool SealHolds(std::ostream& out, const IniFile& file, bool new_version) {
    const auto computed = cardwright::ComputeSettingCrc(file, new_version);
    const int64_t stored = cardwright::StoredSettingCrc(file);
    const std::string format = new_version ? "new-version file" : "file without a version";
    if (computed && *computed == stored) {
        out << "The seal holds (CRC " << stored << ", " << format << ").\n";
        return true;
    }
    out << "The seal does not hold: ";
    if (stored < 0) {
        out << "the file has no CRC value";
    } else {
        out << "the file says CRC " << stored << ", its values give " << computed.value_or(0);
    }
    out << " (" << format << "); it was changed after it was saved, and an import refuses it.\n";
    return false;
}

// Whether every value decodes against the description, as an import that shows every item
// decodes it.
bool ValuesDecode(std::ostream& out, const IniFile& file, const fs::path& description,
                  bool new_version) {
    const IniFile described = Readable(description);
    const auto items = cardwright::ReadConfigItems(described);
    const std::string name = carvex::PrintableText(description.string());
    if (!items) {
        throw Failure(name + " describes no items (it has no [CONFIG_ITEM] section)");
    }
    const auto every_item_has_a_box = [](const cardwright::TConfigItem&) { return true; };
    const auto imported =
        cardwright::ReadSettingFile(file, *items, every_item_has_a_box, new_version);
    if (imported.check == cardwright::SettingFileCheck::kBadValue) {
        out << "A value does not decode against " << name << ": "
            << carvex::PrintableText(imported.values.error) << "\n";
        return false;
    }
    out << "Every value decodes against " << name << " (" << imported.values.values.size()
        << " item values" << (imported.led && imported.led->Writable() ? ", LED lines" : "")
        << ").\n";
    // What a write of it sends besides its own values: the items on the window's pages that it
    // leaves at their defaults.
    const auto pages =
        cardwright::ReadConfigPages(described).value_or(std::vector<cardwright::ConfigPage>{});
    const auto on_page = [&pages](const cardwright::TConfigItem& item) {
        return cardwright::ItemOnBuiltPage(item, pages);
    };
    out << carvex::PrintableText(
               cardwright::ItemsLeftToDefaults(*items, on_page, file, new_version).Sentence())
        << ".\n";
    return true;
}

}  // namespace

bool VerifySettingFile(std::ostream& out, const fs::path& settings,
                       const std::optional<fs::path>& description) {
    const IniFile file = Readable(settings);
    if (!file.SectionExists(cardwright::kValuesSection)) {
        out << carvex::PrintableText(settings.string())
            << " has no [DEFAULT] section with values: it is not a setting file.\n";
        return false;
    }
    const std::string card_type =
        file.ReadString(cardwright::kDataCardTypeSection, cardwright::kValueKey, "");
    if (!card_type.empty()) {
        out << "Card type: " << carvex::PrintableText(card_type) << "\n";
    }
    const bool new_version = file.SectionExists(cardwright::kVersionSection);
    if (!SealHolds(out, file, new_version)) {
        return false;
    }
    return !description || ValuesDecode(out, file, *description, new_version);
}

}  // namespace carvexctl
