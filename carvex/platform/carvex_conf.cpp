#include "carvex/platform/carvex_conf.h"

#include <cstdlib>
#include <fstream>

#include "carvex/platform/text_trim.h"

namespace carvex {

namespace fs = std::filesystem;

namespace {

std::string_view TrimConfText(std::string_view text) {
    return carvex::TrimmedOf(text, " \t\r");
}

}  // namespace

std::string_view ModemManagerModeName(ModemManagerMode mode) {
    switch (mode) {
        case ModemManagerMode::kBorrow:
            return "borrow";
        case ModemManagerMode::kBlock:
            return "block";
        case ModemManagerMode::kLeave:
            return "leave";
    }
    return "borrow";
}

fs::path CarvexConfigDirectory() {
    const char* folder = std::getenv("CARVEX_CONFIG");
    return folder != nullptr && *folder != '\0' ? fs::path(folder) : fs::path("/etc/carvex");
}

CarvexConf ReadCarvexConf(const fs::path& file, std::vector<std::string>& problems) {
    CarvexConf conf;
    std::ifstream in(file);
    std::string line;
    for (int line_number = 1; std::getline(in, line); ++line_number) {
        const std::string_view content =
            TrimConfText(std::string_view(line).substr(0, line.find('#')));
        if (content.empty()) {
            continue;
        }
        const auto report = [&](const std::string& what) {
            problems.push_back(file.string() + ":" + std::to_string(line_number) + ": " + what);
        };
        const size_t equals = content.find('=');
        if (equals == std::string_view::npos) {
            report("expected \"key = value\"");
            continue;
        }
        const std::string_view key = TrimConfText(content.substr(0, equals));
        const std::string_view value = TrimConfText(content.substr(equals + 1));
        if (key == "modemmanager") {
            bool known = false;
            for (const auto mode :
                 {ModemManagerMode::kBorrow, ModemManagerMode::kBlock, ModemManagerMode::kLeave}) {
                if (value == ModemManagerModeName(mode)) {
                    conf.modemmanager = mode;
                    known = true;
                }
            }
            if (!known) {
                report("modemmanager is borrow, block or leave");
            }
        } else if (key == "leave_modemmanager") {
            if (value == "yes" || value == "no") {
                conf.modemmanager =
                    value == "yes" ? ModemManagerMode::kLeave : CarvexConf{}.modemmanager;
            } else {
                report("leave_modemmanager is yes or no");
            }
        } else {
            report("unknown setting \"" + std::string(key) + "\"");
        }
    }
    return conf;
}

CarvexConf LoadCarvexConf(std::vector<std::string>& problems) {
    return ReadCarvexConf(CarvexConfigDirectory() / "carvex.conf", problems);
}

}  // namespace carvex
