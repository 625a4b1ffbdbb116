#include "tools/carvex-udev/udev_settings.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <system_error>

namespace carvexudev {

namespace fs = std::filesystem;

namespace {

constexpr const char* kInstalledTable = "/usr/share/carvex/cards.conf";

std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

fs::path DefaultStateDirectory() {
    if (::geteuid() == 0) {
        return "/var/lib/carvex";
    }
    if (const auto state_home = Variable("XDG_STATE_HOME")) {
        return fs::path(*state_home) / "carvex";
    }
    const auto home = Variable("HOME");
    return fs::path(home ? *home : "/tmp") / ".local" / "state" / "carvex";
}

// The table that comes with the programs, found from where the program lies: beside it in the
// build tree, in share/carvex/ of the same tree once installed or unpacked (carvexctl in bin/,
// carvex-udev in lib/udev/).
fs::path ShippedTable(const fs::path& program_dir) {
    if (const auto path = Variable("CARVEX_CARDS")) {
        return *path;
    }
    if (!program_dir.empty()) {
        const fs::path shipped = fs::path("share") / "carvex" / "cards.conf";
        for (const fs::path& candidate : {program_dir / "cards.conf", program_dir / ".." / shipped,
                                          program_dir / ".." / ".." / shipped}) {
            std::error_code error;
            if (fs::exists(candidate, error)) {
                return candidate.lexically_normal();
            }
        }
    }
    return kInstalledTable;
}

}  // namespace

Settings LoadSettings(const fs::path& program_dir, Problems& problems) {
    Settings settings;
    if (const auto sysfs = Variable("CARVEX_SYSFS")) {
        settings.sysfs = *sysfs;
    }
    if (const auto data = Variable("CARVEX_UDEV_DATA")) {
        settings.udev_data = *data;
    }
    settings.config_dir = carvex::CarvexConfigDirectory();
    const auto state = Variable("CARVEX_STATE");
    settings.state_dir = state ? fs::path(*state) : DefaultStateDirectory();

    settings.table_files.push_back(ShippedTable(program_dir));
    std::vector<fs::path> local_tables;
    std::error_code error;
    for (fs::directory_iterator it(settings.config_dir / "cards.d", error), end;
         !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".conf") {
            local_tables.push_back(it->path());
        }
    }
    std::sort(local_tables.begin(), local_tables.end());
    settings.table_files.insert(settings.table_files.end(), local_tables.begin(),
                                local_tables.end());

    settings.modemmanager =
        carvex::ReadCarvexConf(settings.config_dir / "carvex.conf", problems).modemmanager;
    return settings;
}

CardTable LoadCardTable(const Settings& settings, Problems& problems) {
    CardTable table;
    for (const fs::path& file : settings.table_files) {
        table.AddFile(file, problems);
    }
    return table;
}

fs::path ProgramDirectory() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : program.parent_path();
}

}  // namespace carvexudev
