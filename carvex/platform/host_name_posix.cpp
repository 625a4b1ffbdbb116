#include <unistd.h>

#include <array>
#include <climits>

#include "carvex/platform/host_name.h"

namespace carvex {

std::string HostName() {
    // The kernel keeps at most HOST_NAME_MAX bytes; one more leaves room for the terminating zero,
    // which gethostname() leaves out when the name fills the buffer.
    std::array<char, HOST_NAME_MAX + 1> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    return name.data();
}

}  // namespace carvex
