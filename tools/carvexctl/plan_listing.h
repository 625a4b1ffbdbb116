#pragma once

#include <ostream>

#include "tools/carvexctl/batch_apply.h"

namespace carvexctl {

// A dry run's result for one card: per NV item the card's bytes and those the write would send,
// in rows of 16 with the differing bytes marked; unchanged items and rows in a line each; then
// the port setting.
void PrintPlan(std::ostream& out, const CardOutcome& outcome);

}  // namespace carvexctl
