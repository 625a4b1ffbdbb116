#pragma once

#include <string>
#include <string_view>

#include "cardsim/card_bench.h"

namespace cardsim {

// One line of cardsim's control channel: "plug [IMEI] [--profile FILE]", "unplug N", "replug N"
// or "list".
struct ControlCommand {
    enum class Kind { kPlug, kUnplug, kReplug, kList };
    Kind kind = Kind::kList;
    int card = 0;      // unplug, replug
    PlugRequest plug;  // plug
};

// The commands as a user writes them, for help texts and errors.
inline constexpr std::string_view kControlCommands =
    "plug [IMEI] [--profile FILE], unplug N, replug N, list";

// Throws std::invalid_argument naming what is wrong and what is accepted.
ControlCommand ReadControlCommand(std::string_view line);

// Carries out one line on the bench and answers it in one line, without its line end: "ok: " and
// the cards the command concerns, or "error: " and why; with `json`, one JSON object. Empty for a
// blank line, which is not answered.
std::string AnswerControlLine(CardBench& bench, std::string_view line, bool json);

}  // namespace cardsim
