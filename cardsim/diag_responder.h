#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "cardsim/card_profile.h"

namespace cardsim {

using Packet = std::vector<uint8_t>;

// What the card keeps while it runs: its NV items and settings, starting from the profile.
struct CardState {
    explicit CardState(const CardProfile& card_profile);

    CardProfile profile;
    std::map<uint16_t, NvValue> nv;
    uint8_t port_state;
    uint8_t port_mask;
    uint16_t mode;
    std::set<uint16_t> asked_to_write;  // the NV items written (or refused) since the card started
};

struct DiagAnswer {
    enum class Action { kNone, kSaveNv, kReset };

    Command command = Command::kOther;
    Packet reply;  // empty: no reply
    Action action = Action::kNone;
};

inline constexpr uint32_t kProbeSignature = 0x0600A725;
inline constexpr uint8_t kDiagBadCommand = 0x13;
inline constexpr uint8_t kDiagBadParameter = 0x14;
inline constexpr uint8_t kDiagBadLength = 0x15;

Command ClassifyDiag(std::span<const uint8_t> request, const CardProfile& profile);

// Whether a request is an NV read of an item the card was asked to write since it started: the
// read-back after a write, as opposed to the reads made before one (a snapshot, the reads a new
// value is composed from).
bool IsReadBack(std::span<const uint8_t> request, const CardState& state);

// The card's answer to one DIAG request (unframed). Overrides come from a fault: an NV status
// to answer instead of the real one, a result byte to answer, a byte of what is read back (an
// NV read-back, the port setting) to answer inverted.
struct Overrides {
    std::optional<uint16_t> nv_status;
    std::optional<uint8_t> result;
    std::optional<size_t> other_byte;
};
DiagAnswer AnswerDiag(std::span<const uint8_t> request, CardState& state,
                      const Overrides& overrides = {});

// The DIAG error packet a card sends for a request it does not take: the error code (an unknown
// command, a bad parameter, a bad length), then the request, of which the card's firmware echoes
// no more than the first 16 bytes.
inline constexpr size_t kErrorEchoLimit = 16;
Packet ErrorReply(std::span<const uint8_t> request, uint8_t code = kDiagBadCommand);

}  // namespace cardsim
