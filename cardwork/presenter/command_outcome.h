#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/card/card_reader.h"
#include "cardwork/card/common_info.h"
#include "cardwork/card/work_result.h"

namespace cardwright {

// What a command came to, in the words the status bar keeps until the next command: "Read: "
// followed by `done` when it went through ("Read: done, 29 items"); else where it failed and
// why ("Read failed: COM12 is in use by minicom (pid 700)", "Write failed at Band profile"), or
// "Import cancelled".
std::string CommandOutcome(std::string_view command, const WorkResult& result,
                           std::string_view done);
// What a Read that went through says: "done, 29 items", with ", 2 not read" when some were not.
std::string ReadDone(const std::vector<ItemReading>& readings);
// A stored solution's values shown in place of a read.
std::string SolutionOutcome(std::string_view name);

// Where the values the window shows come from, for the status bar and the window's title: "Card
// LW-X4201 on COM12, IMEI 356789012345678", "Stored solution Factory (no card read)". `port` is
// empty when it is not known.
std::string CardShown(const CommonInfo& info, std::string_view port);
std::string SolutionShown(std::string_view name);
std::string SettingFileShown(const std::filesystem::path& file);

}  // namespace cardwright
