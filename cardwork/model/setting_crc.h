#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cardwork/model/ini_file.h"

namespace cardwright {

// The sections and keys of a setting file.
inline constexpr std::string_view kDataCardTypeSection = "DATACARD_TYPE";
inline constexpr std::string_view kVersionSection = "VERSION";
inline constexpr std::string_view kVersionKey = "VERSION";
inline constexpr std::string_view kSettingFileVersion = "1.0";
inline constexpr std::string_view kValuesSection = "DEFAULT";
inline constexpr std::string_view kCrcSection = "CRC";
inline constexpr std::string_view kValueKey = "VALUE";

// A setting file is sealed by a CRC over the lines of its DEFAULT section: "key=value" and CR LF
// for each entry in order, led by "VERSION=" and the file's version while the new-version flag
// is set (files of the old format carry no version).
std::string SettingCrcText(std::span<const IniEntry> values,
                           const std::optional<std::string>& version);
// CRC-16 with polynomial 0x1021, initial value 0xFFFF, no reflection and no final XOR: the
// library's CRCSlow.
uint16_t SettingCrc(std::string_view text);

// The CRC the file's DEFAULT lines give, as the INI access reads them, over their bytes in the
// file's own encoding (a file in a Windows code page was sealed over that code page's bytes);
// nullopt when the flag is set and the file has no VERSION section, or when the file's encoding
// cannot hold the lines (bytes that are no text of it).
std::optional<uint16_t> ComputeSettingCrc(const IniFile& file, bool new_version);
// CRC/VALUE read as an integer key (decimal, or hexadecimal after "0x"); -1, which no CRC equals,
// when it is missing or no number.
int64_t StoredSettingCrc(const IniFile& file);
// Whether the file's seal holds for the lines it carries.
bool VerifySettingCrc(const IniFile& file, bool new_version);

}  // namespace cardwright
