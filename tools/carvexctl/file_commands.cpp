#include "tools/carvexctl/file_commands.h"

#include <CLI/CLI.hpp>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <vector>

#include "carvex/carvex.h"
#include "tools/carvexctl/json_output.h"
#include "tools/carvexctl/verify_setting_file.h"

namespace carvexctl {

namespace {

void Crc(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw Failure("cannot read " + path);
    }
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>()};
    const uint32_t crc = CRCSlow(bytes.data(), static_cast<int32_t>(bytes.size()));
    std::cout << crc << " (0x" << std::uppercase << std::hex << std::setw(4) << std::setfill('0')
              << crc << ")\n";
}

}  // namespace

void FileCommands::Register(Dispatcher& dispatcher) {
    CLI::App& app = dispatcher.App();
    auto* crc = app.add_subcommand(
        "crc", "the library's CRC of a whole file (to check a setting file, use verify)");
    crc->add_option("FILE", file_, "file to check")->required();
    dispatcher.Add(crc, [this] {
        Crc(file_);
        return ExitStatus::kOk;
    });

    auto* verify =
        app.add_subcommand("verify",
                           "check a setting file: whether its seal holds and, with --description, "
                           "whether every value decodes (exit 0 or 1)");
    verify->add_option("SETTINGS", file_, "the setting file (an exported .ini)")->required();
    verify->add_option("--description", description_,
                       "the description it was made with (Config_Info.ini)");
    AddJsonFlag(verify, json_);
    dispatcher.Add(verify, [this] {
        const bool good = VerifySettingFile(
            std::cout, file_,
            description_.empty() ? std::nullopt
                                 : std::optional<std::filesystem::path>(description_),
            json_);
        return good ? ExitStatus::kOk : ExitStatus::kCardWorkFailed;
    });
}

}  // namespace carvexctl
