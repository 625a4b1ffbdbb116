#pragma once

#include "cardwork/presenter/lent_card.h"

namespace cardwright {

// The windows' lender: the first card of the device root borrowed from ModemManager, as
// carvex.conf's modemmanager setting says (nothing is asked under "block" or "leave", nor on
// Windows).
CardLender ModemManagerLender();

}  // namespace cardwright
