// carvexctl: the card library's functions for scripts and technicians.
#include <iostream>
#include <memory>

#include "project_version.h"
#include "tools/carvexctl/carvexctl_commands.h"

int main(int argc, char** argv) {
    try {
        return carvexctl::RunCarvexctl(std::vector<std::string>(argv + 1, argv + argc),
                                       std::string(kProjectVersion));
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        return 1;
    }
}
