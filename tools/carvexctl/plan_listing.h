#pragma once

#include <ostream>

#include "cardwork/batch/card_record.h"
#include "cardwork/json/json_document.h"

namespace carvexctl {

// A dry run's result for one card: how many NV items the write would change, and for each that
// differs its captions, its number and the card's bytes and those the write would send, in rows
// of 16 with the differing bytes marked; then the port setting when it would change. With
// `all`, the items the write would leave as they are too, a line each.
void PrintPlan(std::ostream& out, const cardwright::CardRecord& card, bool all);

// The same as one JSON object, every item listed: "port", "imei", "items" (each with "item",
// "captions", "before" (the card's bytes in hex, null when it does not hold the item), "after" and
// "changes") and "port_setting" ("before", "after", each with "state" and "port_mask", and
// "changes"; null when the write leaves it alone). A card that did not get as far lists nothing.
cardwright::Json PlanJson(const cardwright::CardRecord& card);

}  // namespace carvexctl
