#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "cardwork/card/card_reader.h"
#include "cardwork/card/card_writer.h"
#include "cardwork/card/common_info.h"
#include "cardwork/card/setting_file_export.h"
#include "cardwork/card/setting_file_import.h"

namespace cardwright {

// What a command came to, in the words the status bar keeps until the next command: "Read: done,
// 29 items", "Read failed: no card found", "Write failed at Band profile". `trouble` is why the
// card could not be used, where that is known ("COM12 is in use by minicom (pid 700)").
std::string ReadOutcome(const ReadReport& report, std::string_view trouble);
std::string WriteOutcome(const WriteReport& report, std::string_view trouble);
std::string ImportOutcome(const ImportReport& report, const std::filesystem::path& file,
                          std::string_view trouble);
std::string ExportOutcome(ExportEnd end, const std::filesystem::path& file,
                          std::string_view trouble);
// A stored solution's values shown in place of a read.
std::string SolutionOutcome(std::string_view name);

// Where the values the window shows come from, for the status bar and the window's title: "Card
// LW-X4201 on COM12, IMEI 356789012345678", "Stored solution Factory (no card read)".
std::string CardShown(const CommonInfo& info, std::optional<int> port);
std::string SolutionShown(std::string_view name);
std::string SettingFileShown(const std::filesystem::path& file);

}  // namespace cardwright
