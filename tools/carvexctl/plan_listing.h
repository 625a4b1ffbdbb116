#pragma once

#include <ostream>

#include "cardwork/batch/card_record.h"

namespace carvexctl {

// A dry run's result for one card: how many NV items the write would change, and for each that
// differs its captions, its number and the card's bytes and those the write would send, in rows
// of 16 with the differing bytes marked; then the port setting when it would change. With
// `all`, the items the write would leave as they are too, a line each.
void PrintPlan(std::ostream& out, const cardwright::CardRecord& card, bool all);

}  // namespace carvexctl
