#pragma once

#include <cstdint>
#include <vector>

#include "cardsim/card_profile.h"

namespace cardsim {

// The replies to what general DIAG tools ask every card of this family first, laid out as the
// commonly documented DIAG packets (little-endian fields, texts zero-padded to their field).
// Every field comes from the profile, derived from the card's identity where it gives none.

// 0x00: compile and release date and time, version directory, station class mark, CAI revision,
// mobile model, firmware revision, slot cycle index and MSM version; 55 bytes.
std::vector<uint8_t> VersionInfoReply(const CardProfile& profile);

// 0x01: the ESN; 5 bytes.
std::vector<uint8_t> EsnReply(const CardProfile& profile);

// 0x0C: the ESN, the RF mode and the mode word among the station status; 48 bytes.
std::vector<uint8_t> StatusReply(const CardProfile& profile, uint16_t mode);

// 0x1C: the DIAG protocol version; 3 bytes.
std::vector<uint8_t> DiagVersionReply(const CardProfile& profile);

// 0x7C: the MSM hardware version, the mobile model id, then the build id and the model texts,
// each ended by a zero.
std::vector<uint8_t> BuildIdReply(const CardProfile& profile);

}  // namespace cardsim
