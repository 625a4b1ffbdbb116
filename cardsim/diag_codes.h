#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The card's own view of the DIAG command codes it answers, and how its replies lay out text
// fields. Kept apart from the library's tables on purpose: the simulated card must not agree with
// the library merely by sharing its mistakes.
namespace cardsim::diag {

inline constexpr uint8_t kVersionInfo = 0x00;
inline constexpr uint8_t kEsn = 0x01;
inline constexpr uint8_t kStatus = 0x0C;
inline constexpr uint8_t kDiagVersion = 0x1C;
inline constexpr uint8_t kBuildId = 0x7C;

// Copies `text` into the `field` bytes from `at`, cut to the field; the rest stays as it was
// (zero in a fresh reply).
inline void PutText(std::vector<uint8_t>& packet, size_t at, size_t field,
                    const std::string& text) {
    std::copy_n(text.begin(), std::min(field, text.size()),
                packet.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace cardsim::diag
