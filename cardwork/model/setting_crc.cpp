#include "cardwork/model/setting_crc.h"

#include <vector>

#include "cardwork/model/item_value.h"
#include "carvex/link/crc16.h"

namespace cardwright {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

std::string SettingCrcText(std::span<const IniEntry> values,
                           const std::optional<std::string>& version) {
    std::string text;
    if (version) {
        text.append(kVersionKey).append("=").append(*version).append(kLineEnd);
    }
    for (const auto& [key, value] : values) {
        text.append(key).append("=").append(value).append(kLineEnd);
    }
    return text;
}

uint16_t SettingCrc(std::string_view text) {
    return carvex::CrcSlow(
        {reinterpret_cast<const uint8_t*>(text.data()), static_cast<size_t>(text.size())});
}

std::optional<uint16_t> ComputeSettingCrc(const IniFile& file, bool new_version) {
    std::optional<std::string> version;
    if (new_version) {
        if (!file.SectionExists(kVersionSection)) {
            return std::nullopt;
        }
        version = file.ReadString(kVersionSection, kVersionKey, "");
    }
    const std::vector<IniEntry> values = file.ReadEntries(kValuesSection);
    const auto bytes = file.AsFileBytes(SettingCrcText(values, version));
    if (!bytes) {
        return std::nullopt;
    }
    return SettingCrc(*bytes);
}

int64_t StoredSettingCrc(const IniFile& file) {
    // As every integer key is read: decimal, or hexadecimal after "0x".
    return file.ReadInteger(kCrcSection, kValueKey, -1);
}

bool VerifySettingCrc(const IniFile& file, bool new_version) {
    const auto crc = ComputeSettingCrc(file, new_version);
    return crc && *crc == StoredSettingCrc(file);
}

}  // namespace cardwright
