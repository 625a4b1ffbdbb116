#include "cardwork/model/setting_file.h"

#include <algorithm>

#include "cardwork/model/item_value.h"
#include "cardwork/model/nv_compose.h"
#include "cardwork/model/utf8_path.h"
#include "carvex/platform/whole_file.h"

namespace cardwright {

namespace {

bool AppliesTo(const TConfigItem& item, bool new_version) {
    return !new_version || item.NewVersion != 0;
}

// The first three rules of both item kinds: applies, ticked, and not at its default.
bool Counts(const TConfigItem& item, const ItemShown& shown, bool new_version) {
    return AppliesTo(item, new_version) && shown.text && shown.checked.value_or(false) &&
           *shown.text != item.DefaultValue;
}

bool IsDeviceStateItem(const TConfigItem& item) {
    return item.NvId == kDeviceStateNvId;
}

// The file that writing `path` changes: the end of its chain of symbolic links, absolute and
// without "." or "..".
std::filesystem::path WrittenFile(const std::filesystem::path& chosen) {
    std::string unfollowed;
    const std::filesystem::path path = carvex::FinalTarget(chosen, unfollowed).value_or(chosen);
    std::error_code error;
    auto resolved = std::filesystem::weakly_canonical(path, error);
    if (error) {
        resolved = std::filesystem::absolute(path, error).lexically_normal();
    }
    return resolved;
}

}  // namespace

std::string StoredItemValue(const TConfigItem& item, const std::string& text,
                            std::vector<std::string>& log) {
    if (!IsMultiValue(item)) {
        return std::to_string(TextToValue(item, text));
    }
    std::vector<int32_t> values;
    size_t length = 0;
    for (int k = 0; k < item.ValueCount; ++k) {
        const SingleItem single = MakeSingleItem(item, k);
        if (!single.complete) {
            log.emplace_back(kSingleItemError);
        }
        values.push_back(TextToValue(single.item, text));
        // A text no reader takes whole is refused when written; longer makes no difference.
        length += std::to_string(values.back()).size() + 1;
        if (length > IniFile::kMaxValueLength + 1) {
            break;
        }
    }
    return StoredMultiValue(values);
}

ExportedItems CommonItemEntries(std::span<const TConfigItem> items, const ShownItems& shown,
                                bool new_version) {
    ExportedItems exported;
    for (const TConfigItem& item : items) {
        if (IsDeviceStateItem(item)) {
            continue;
        }
        const ItemShown state = shown(item);
        if (!Counts(item, state, new_version) || (item.SCardTypeItem == 0 && !state.box_visible)) {
            continue;
        }
        exported.entries.emplace_back(item.Name, StoredItemValue(item, *state.text, exported.log));
    }
    return exported;
}

std::optional<IniEntry> DeviceStateEntry(std::span<const TConfigItem> items,
                                         const ShownItems& shown, bool new_version) {
    const bool any = std::any_of(items.begin(), items.end(), [&](const TConfigItem& item) {
        return IsDeviceStateItem(item) && Counts(item, shown(item), new_version);
    });
    if (!any) {
        return std::nullopt;
    }
    const DeviceState setting =
        ComposeDeviceState(items, [&](const TConfigItem& item) { return shown(item).text; });
    return IniEntry{std::string(kDeviceStateItem), StoredDeviceState(setting)};
}

ComposedSettingFile ComposeSettingFile(std::span<const TConfigItem> items, const ShownItems& shown,
                                       const SettingFileSource& source) {
    ComposedSettingFile composed;
    composed.file.card_type = source.card_type;
    composed.file.new_version = source.new_version;
    ExportedItems common = CommonItemEntries(items, shown, source.new_version);
    composed.file.values = std::move(common.entries);
    composed.log = std::move(common.log);
    if (auto device_state = DeviceStateEntry(items, shown, source.new_version)) {
        composed.file.values.push_back(std::move(*device_state));
    }
    if (source.config_led && source.led != nullptr) {
        for (auto& line : LedEntries(*source.led)) {
            composed.file.values.push_back(std::move(line));
        }
    }
    return composed;
}

SettingFileWritten WriteSettingFile(const std::filesystem::path& path, const SettingFile& file) {
    const auto refused = [&](const std::string& reason) {
        return SettingFileWritten{0, "Cannot write " + Utf8FromPath(path) + ": " + reason};
    };
    const std::vector<IniEntry> values = MergedEntries(file.values);
    // The seal covers what a reader gets back, so every line must come back as it is written.
    KeyListBytes listed;
    for (const auto& [key, value] : values) {
        if (value.size() > IniFile::kMaxValueLength) {
            return refused("the value of " + key + " is longer than the " +
                           std::to_string(IniFile::kMaxValueLength) + " characters a reader takes");
        }
        if (!listed.Take(key)) {
            return refused("section " + std::string(kValuesSection) +
                           " would hold more key names than a reader lists");
        }
    }
    std::optional<std::string> version;
    if (file.new_version) {
        version = std::string(kSettingFileVersion);
    }
    const uint16_t crc = SettingCrc(SettingCrcText(values, version));

    std::vector<IniSection> sections;
    sections.push_back(
        {std::string(kDataCardTypeSection), {{std::string(kValueKey), file.card_type}}});
    if (version) {
        sections.push_back({std::string(kVersionSection), {{std::string(kVersionKey), *version}}});
    }
    sections.push_back({std::string(kValuesSection), values});
    sections.push_back({std::string(kCrcSection), {{std::string(kValueKey), std::to_string(crc)}}});
    IniFile ini(path);
    if (!ini.WriteWhole(sections)) {
        return {0, ini.LastError()};
    }
    return {crc, {}};
}

ImportedSettingFile ReadSettingFile(const IniFile& file, std::span<const TConfigItem> items,
                                    const HasValueBox& has_value_box, bool new_version) {
    ImportedSettingFile imported;
    imported.card_type = file.ReadString(kDataCardTypeSection, kValueKey, "");
    if (!file.SectionExists(kValuesSection)) {
        imported.check = SettingFileCheck::kNoValues;
        return imported;
    }
    if (!VerifySettingCrc(file, new_version)) {
        imported.check = SettingFileCheck::kCrcFailed;
        return imported;
    }
    imported.values = DecodeItemValues(items, has_value_box, file, kValuesSection);
    if (!imported.values.Ok()) {
        imported.check = SettingFileCheck::kBadValue;
        return imported;
    }
    imported.led = LedTableFromSection(file, kValuesSection);
    imported.check = SettingFileCheck::kLoaded;
    return imported;
}

std::filesystem::path SettingFileName(const std::filesystem::path& chosen) {
    const std::string name = Utf8FromPath(chosen.filename());
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && EqualIgnoringCase(std::string_view(name).substr(dot), ".ini")) {
        return chosen;
    }
    std::filesystem::path named = chosen;
    named += ".ini";
    return named;
}

std::optional<std::string> OwnIniFileRefusal(const std::filesystem::path& path,
                                             const std::filesystem::path& description,
                                             const std::filesystem::path& values) {
    const auto target = WrittenFile(path);
    for (const auto* own : {&description, &values}) {
        std::error_code error;
        if (std::filesystem::equivalent(path, *own, error) || target == WrittenFile(*own)) {
            return "Cannot export to " + Utf8FromPath(path) + ": it is the program's own " +
                   Utf8FromPath(own->filename()) + "...";
        }
    }
    return std::nullopt;
}

}  // namespace cardwright
