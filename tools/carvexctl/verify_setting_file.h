#pragma once

#include <filesystem>
#include <optional>
#include <ostream>

namespace carvexctl {

// `carvexctl verify`: whether a setting file's seal (its CRC over the DEFAULT lines) holds, and,
// with the description it was made from, whether every value it holds decodes as an import
// decodes it. Says so line by line, or with `json` as one JSON object; true when the file would
// be imported.
bool VerifySettingFile(std::ostream& out, const std::filesystem::path& settings,
                       const std::optional<std::filesystem::path>& description, bool json);

}  // namespace carvexctl
