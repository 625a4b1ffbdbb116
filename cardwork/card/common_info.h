#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace cardwright {

// The rows of "Common Info", in their order on the page.
enum class CommonInfoRow { kImei, kFirmware, kDashboard, kHardware, kCardType };
inline constexpr size_t kCommonInfoRows = 5;

// What a row shows until the card has told.
inline constexpr std::string_view kNoCommonInfo = "--";

// The "Desc" column of each row.
inline constexpr std::array<std::string_view, kCommonInfoRows> kCommonInfoCaptions{
    "IMEI:", "Firmware Version:", "Dashboard Version:", "Hardware Version:", "CardType"};

// The "Value" column of each row.
class CommonInfo {
  public:
    CommonInfo() { rows_.fill(std::string(kNoCommonInfo)); }

    const std::string& operator[](CommonInfoRow row) const {
        return rows_[static_cast<size_t>(row)];
    }
    std::string& operator[](CommonInfoRow row) { return rows_[static_cast<size_t>(row)]; }

  private:
    std::array<std::string, kCommonInfoRows> rows_;
};

}  // namespace cardwright
