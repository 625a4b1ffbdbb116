#include <windows.h>
// bcrypt.h needs the types of windows.h first.
#include <bcrypt.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "carvex/platform/system_random.h"

namespace carvex {

void FillRandom(std::span<uint8_t> bytes) {
    size_t filled = 0;
    while (filled < bytes.size()) {
        const ULONG chunk = static_cast<ULONG>(std::min<size_t>(bytes.size() - filled, ULONG_MAX));
        if (::BCryptGenRandom(nullptr, bytes.data() + filled, chunk,
                              BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
            throw std::runtime_error("no random bytes from the system");
        }
        filled += chunk;
    }
}

}  // namespace carvex
