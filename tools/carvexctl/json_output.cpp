#include "tools/carvexctl/json_output.h"

#include <CLI/CLI.hpp>
#include <iostream>

namespace carvexctl {

CLI::Option* AddJsonFlag(CLI::App* command, bool& json) {
    return command->add_flag("--json", json,
                             "print one JSON document on standard output instead of text");
}

void PrintDocument(const Json& document) {
    cardwright::PrintJsonDocument(std::cout, document);
    std::cout.flush();
}

}  // namespace carvexctl
