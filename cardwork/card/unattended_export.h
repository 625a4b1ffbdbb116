#pragma once

#include <string>
#include <string_view>

#include "cardwork/card/card_access.h"
#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/card/setting_file_export.h"
#include "cardwork/card/work_result.h"

namespace cardwright {

// The window's Export made without a window, sealed by SettingFileExport as the window's is; the
// file goes where the view's AskSaveFileName says.

// The card seam of an export that must not touch a card: none is ever there.
class NoCard : public CardAccess {
  public:
    bool Open() override { return false; }
    void Close() override {}
    bool NewVersionMark(int32_t& /*status*/) override { return false; }
    std::optional<std::string> BoardType() override { return std::nullopt; }
    bool ReadImei(std::span<uint8_t> /*bytes*/, int32_t& /*status*/) override { return false; }
    std::optional<std::string> FirmwareVersion(int32_t& /*status*/) override { return {}; }
    std::optional<std::string> PcbVersion(int32_t& /*status*/) override { return {}; }
    std::optional<std::string> DashboardVersion(int32_t& /*status*/) override { return {}; }
    bool ReadNv(int32_t /*item*/, NvData& /*data*/, int32_t& /*status*/) override { return false; }
    bool WriteNv(int32_t /*item*/, const NvData& /*data*/) override { return false; }
    bool ReadPortSetting(DeviceState& /*setting*/, int32_t& /*status*/) override { return false; }
    bool WritePortSetting(const DeviceState& /*setting*/, int32_t& /*status*/) override {
        return false;
    }
    bool Backup(int32_t& /*status*/) override { return false; }
    bool Restart() override { return false; }
    std::string Trouble() override { return "no card is asked"; }
};

// A card of the type and generation the file is for, as a read of one leaves the state.
struct ExportTarget {
    std::string card_type;
    bool new_version = false;
};

// The solution `section` of a values file exported as the window exports it once it has read a
// card of `target` and loaded the solution, with no card attached: the solution's values and LED
// lines (under the solution's ConfigLed) shown, checked and saved. `state` is the description's,
// nothing shown yet; `seams.card` is never opened (a NoCard). Refused for a section the file does
// not hold.
WorkResult ExportSolution(const CardWorkSeams& seams, CardWorkState& state,
                          const IniFile& description, const IniFile& values,
                          std::string_view section, const ExportTarget& target,
                          const OwnIniFiles& own);

// The card's configuration exported as the window exports it with the card attached: read as the
// window reads it, then saved. Failed at opening the card when there is none.
WorkResult ExportCard(const CardWorkSeams& seams, CardWorkState& state, const IniFile& description,
                      const OwnIniFiles& own);

}  // namespace cardwright
