#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "carvex/platform/serial_node_posix.h"

namespace carvex {

namespace {

// Whether a device number belongs to a serial tty driver, as /proc/tty/drivers lists them
// ("usbserial  /dev/ttyUSB  188 0-511  serial"): serial ports and the slave side of
// pseudo-terminals. Consoles, /dev/tty, pty masters and every other device are no COM port.
// nullopt when the list cannot be read.
std::optional<bool> SerialDriverListed(dev_t device) {
    std::ifstream drivers("/proc/tty/drivers");
    if (!drivers) {
        return std::nullopt;
    }
    std::string line;
    while (std::getline(drivers, line)) {
        std::istringstream fields(line);
        std::string name;
        std::string node;
        unsigned major_number = 0;
        std::string minors;
        std::string type;
        if (!(fields >> name >> node >> major_number >> minors >> type) ||
            major_number != major(device)) {
            continue;
        }
        unsigned first = 0;
        unsigned last = 0;
        const int read = std::sscanf(minors.c_str(), "%u-%u", &first, &last);
        if (read < 1) {
            continue;
        }
        if (read == 1) {
            last = first;
        }
        if (minor(device) >= first && minor(device) <= last) {
            return type == "serial" || type == "pty:slave";
        }
    }
    return false;
}

}  // namespace

bool IsSerialDeviceNode(const struct stat& node) {
    return S_ISCHR(node.st_mode) && SerialDriverListed(node.st_rdev).value_or(true);
}

}  // namespace carvex
