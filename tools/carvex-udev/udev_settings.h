#pragma once

#include <filesystem>
#include <vector>

#include "carvex/platform/carvex_conf.h"
#include "tools/carvex-udev/card_table.h"

namespace carvexudev {

// Where the udev publisher finds the machine and its own files. Every path can be moved with an
// environment variable, so that a user (or a test) can run it on a folder of their own.
struct Settings {
    std::filesystem::path sysfs = "/sys";                // CARVEX_SYSFS
    std::filesystem::path udev_data = "/run/udev/data";  // CARVEX_UDEV_DATA: udev's database
    std::filesystem::path config_dir = "/etc/carvex";    // CARVEX_CONFIG: carvex.conf, cards.d/
    std::filesystem::path state_dir;                     // CARVEX_STATE: the COM numbers
    // The shipped card table (CARVEX_CARDS, else the one beside the program, else the one in
    // share/carvex/ above the program's folder, else /usr/share/carvex/cards.conf), then
    // config_dir/cards.d/*.conf in name order.
    std::vector<std::filesystem::path> table_files;
    // carvex.conf's modemmanager: which ports of a listed card ModemManager is told to leave.
    carvex::ModemManagerMode modemmanager = carvex::ModemManagerMode::kBorrow;
};

// The settings from the environment and carvex.conf; `program_dir` is where the running program
// lies. Lines of carvex.conf that cannot be read are reported and skipped.
Settings LoadSettings(const std::filesystem::path& program_dir, Problems& problems);

// The card table of all table files, in order.
CardTable LoadCardTable(const Settings& settings, Problems& problems);

// The folder of the running program (from /proc/self/exe).
std::filesystem::path ProgramDirectory();

}  // namespace carvexudev
