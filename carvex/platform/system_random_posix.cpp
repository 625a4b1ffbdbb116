#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "carvex/platform/system_random.h"

namespace carvex {

void FillRandom(std::span<uint8_t> bytes) {
    size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error(std::string("no random bytes from the system: ") +
                                     std::strerror(errno));
        }
        filled += static_cast<size_t>(got);
    }
}

}  // namespace carvex
