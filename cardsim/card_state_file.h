#pragma once

#include <filesystem>

#include "cardsim/diag_responder.h"

namespace cardsim {

// What a card's NV backup keeps, so the card has its values again in a later run: its NV items
// and port setting, written as a profile holding just those.

// Replaces the file whole or not at all (a backup that fails keeps the items of the one before);
// false when it could not be written.
bool SaveCardState(const std::filesystem::path& path, const CardState& state);
// The items and the port setting of the file, over those of the profile; nothing when there is
// no file. Throws when the file cannot be read as a profile.
void LoadCardState(const std::filesystem::path& path, CardState& state);

}  // namespace cardsim
