#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace carvex {

// What the card's programs do about ModemManager, which probes and uses a modem's serial ports:
// - kBorrow: the udev rule hides only the PC UI port from it; while a program works a card it
//   asks ModemManager to let go of the card (InhibitDevice) and gives it back when done;
// - kBlock: the rule hides every port of a listed card from it, for good;
// - kLeave: nothing hidden, nothing asked.
enum class ModemManagerMode { kBorrow, kBlock, kLeave };

// "borrow", "block", "leave".
std::string_view ModemManagerModeName(ModemManagerMode mode);

// The machine's settings of the card's programs: /etc/carvex/carvex.conf.
struct CarvexConf {
    ModemManagerMode modemmanager = ModemManagerMode::kBorrow;
};

// Where carvex.conf and the local card table lie: $CARVEX_CONFIG, else /etc/carvex.
std::filesystem::path CarvexConfigDirectory();

// carvex.conf's "key = value" lines ("#" starts a comment); a later line overrides an earlier
// one. "leave_modemmanager = yes", the setting of earlier versions, reads as "modemmanager =
// leave" ("no", which they shipped, as the default). A line that cannot be read goes into
// `problems` as "file:line: what" and is skipped; a missing file gives the defaults.
CarvexConf ReadCarvexConf(const std::filesystem::path& file, std::vector<std::string>& problems);

// The settings of this machine: CarvexConfigDirectory()/carvex.conf.
CarvexConf LoadCarvexConf(std::vector<std::string>& problems);

}  // namespace carvex
