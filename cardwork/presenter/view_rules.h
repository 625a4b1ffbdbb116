#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/presenter/window_view.h"

namespace cardwright {

// Rules each window applies itself, on its user-interface thread, the same in every window.

// Shown by the LED step dialog when its OK finds a time the card cannot keep.
inline constexpr std::string_view kBadLedTimeMessage =
    "The time must be a whole number from 0 to 255 (units of 100 ms)...";

// The time typed into the LED step dialog, which showed `preset_time`: a whole number from 0 to
// 255, or the preset time itself when the text is still that time (-1, which a loaded pattern
// may carry to mark its end, is then kept rather than refused). nullopt: OK is refused.
std::optional<int32_t> LedTimeFromText(std::string_view text, int32_t preset_time);
// The times the dialog's box offers: only times of one byte, which the card can hold.
const std::vector<std::string_view>& LedTimeSuggestions();

// The status bar's text as it fits: the whole text when `fits` takes it, else the text with the
// middle of its path replaced by "..." (U+2026), as little as makes it fit; when nothing of the
// path is left and it still does not fit, the text's end goes the same way. Cuts fall between
// characters, never inside one.
std::string FitStatusText(const StatusText& status,
                          const std::function<bool(std::string_view)>& fits);

}  // namespace cardwright
