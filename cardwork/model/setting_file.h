#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cardwork/model/config_item.h"
#include "cardwork/model/ini_file.h"
#include "cardwork/model/led_table.h"
#include "cardwork/model/setting_crc.h"
#include "cardwork/model/stored_values.h"

namespace cardwright {

// What the window shows of one item, as an export reads it.
struct ItemShown {
    std::optional<std::string> text;  // nullopt: the item has no value box
    std::optional<bool> checked;      // nullopt: the item has no LABEL_ check box
    bool box_visible = false;         // the value box is not hidden (by VISIBLE or the card filter)
};
using ShownItems = std::function<ItemShown(const TConfigItem&)>;

// The stored value form of the text an item shows: the decimal TextToValue, or for a multi-value
// item the value of each of its NV items (column k of RANGE_VALUE) joined by "|". A field list
// that lacks field k adds "get Single_NV_ID is error..." to the log.
std::string StoredItemValue(const TConfigItem& item, const std::string& text,
                            std::vector<std::string>& log);

struct ExportedItems {
    std::vector<IniEntry> entries;
    std::vector<std::string> log;  // "get Single_NV_ID is error..." for each field a list lacks
};

// The ordinary items (NV_ID not -101) an export writes into DEFAULT, in list order, each with the
// stored value of its shown text. An item goes in when
// - it applies while the new-version flag is as given (NEW_VERSION not 0 while it is set),
// - it has a value box and a ticked LABEL_ check box,
// - its shown text differs from DEFAULT_VALUE (letter case counts), and
// - its SCARDTYPE_ITEM is not 0 or its value box is visible.
ExportedItems CommonItemEntries(std::span<const TConfigItem> items, const ShownItems& shown,
                                bool new_version);

// DEVICE_STATE_INFO when at least one device-state item counts (by the first three rules above).
// The value is the whole port setting the device-state items show (mask x 256 + state), not only
// the items that differ from their defaults: the loading side decodes every bit, so a port left
// out would come back Off.
std::optional<IniEntry> DeviceStateEntry(std::span<const TConfigItem> items,
                                         const ShownItems& shown, bool new_version);

// Everything a setting file holds.
struct SettingFile {
    std::string card_type;         // DATACARD_TYPE/VALUE
    bool new_version = false;      // VERSION/VERSION = "1.0", and the CRC text starts with it
    std::vector<IniEntry> values;  // DEFAULT: items, DEVICE_STATE_INFO, LED lines
};

// What an export starts from besides the items.
struct SettingFileSource {
    std::string card_type;
    bool new_version = false;
    bool config_led = false;
    const LedTable* led = nullptr;  // its lines go into DEFAULT while config_led is set
};

struct ComposedSettingFile {
    SettingFile file;
    std::vector<std::string> log;
};

// The items, the device state and (with ConfigLed) the LED lines, all in DEFAULT: the only
// section an import reads and the CRC covers.
ComposedSettingFile ComposeSettingFile(std::span<const TConfigItem> items, const ShownItems& shown,
                                       const SettingFileSource& source);

struct SettingFileWritten {
    uint16_t crc = 0;
    std::string error;  // why nothing was written, in words
    bool Ok() const { return error.empty(); }
};

// Writes the whole file at once, in the order DATACARD_TYPE, VERSION (only with the flag),
// DEFAULT, CRC, and replaces the file at `path` only when all of it is on the disk (through a
// symbolic link, its target): a failed export leaves the previous file as it was. Keys of one
// name (letter case aside) keep the later value in the place of the first, as separate writes
// would. Refused, with nothing written, when a line could not be read back as written: a line
// break anywhere, a value longer than a reader takes, DEFAULT keys beyond the reader's key list.
SettingFileWritten WriteSettingFile(const std::filesystem::path& path, const SettingFile& file);

// How an import of a setting file ends.
enum class SettingFileCheck {
    kLoaded,     // sealed and every value loads
    kNoValues,   // no DEFAULT section: "file not correct"
    kCrcFailed,  // the seal does not hold, or the flag is set and there is no VERSION
    kBadValue,   // sealed, but a value is not a decimal integer: "file not correct"
};

struct ImportedSettingFile {
    SettingFileCheck check = SettingFileCheck::kNoValues;
    std::string card_type;        // DATACARD_TYPE/VALUE
    LoadedValues values;          // empty unless kLoaded; the error line with kBadValue
    std::optional<LedTable> led;  // with kLoaded: the DEFAULT section's LED lines
};

// Checks and decodes a setting file against a description, without a window: DEFAULT must be
// there, the seal must hold for the new-version flag given, and every value must load.
ImportedSettingFile ReadSettingFile(const IniFile& file, std::span<const TConfigItem> items,
                                    const HasValueBox& has_value_box, bool new_version);

// The name an export writes: the chosen one with ".ini" appended unless its extension already is
// ".ini" in any letter case (cards -> cards.ini, cards.txt -> cards.txt.ini).
std::filesystem::path SettingFileName(const std::filesystem::path& chosen);

// Why an export must not write `path`, when it is one of the program's own INI files, reached by
// any name (a symbolic link, a relative path, "..", a hard link); nullopt when it is not.
std::optional<std::string> OwnIniFileRefusal(const std::filesystem::path& path,
                                             const std::filesystem::path& description,
                                             const std::filesystem::path& values);

}  // namespace cardwright
