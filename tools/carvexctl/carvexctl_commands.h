#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/carvexctl/dispatcher.h"

namespace carvexctl {

// The dispatcher with every command of carvexctl registered, module by module.
std::unique_ptr<Dispatcher> MakeDispatcher(const std::string& version);

// carvexctl run on `arguments` (those after the program's name); its exit status.
int RunCarvexctl(const std::vector<std::string>& arguments, const std::string& version);

}  // namespace carvexctl
