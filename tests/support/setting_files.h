#pragma once

#include <filesystem>
#include <string>

#include "cardwork/model/setting_crc.h"
#include "tests/support/files.h"

namespace testsupport {

// A setting file of the test profile's card type as an export writes it: `values` (lines ended by
// CR LF) sealed by their CRC. Its path, as text.
inline std::string PutSettingFile(const std::filesystem::path& path, const std::string& values) {
    Put(path, "[DATACARD_TYPE]\r\nVALUE=LW-X4201\r\n[DEFAULT]\r\n" + values +
                  "[CRC]\r\nVALUE=" + std::to_string(cardwright::SettingCrc(values)) + "\r\n");
    return path.string();
}

}  // namespace testsupport
