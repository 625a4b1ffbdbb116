#include "tools/carvexctl/carvexctl_commands.h"

#include <iostream>

#include "tools/carvexctl/batch_commands.h"
#include "tools/carvexctl/card_commands.h"
#include "tools/carvexctl/card_work_commands.h"
#include "tools/carvexctl/file_commands.h"
#include "tools/carvexctl/port_commands.h"
#include "tools/carvexctl/ports_source.h"
#include "tools/carvexctl/prune_command.h"
#include "tools/carvexctl/records_command.h"
#include "tools/carvexctl/station_command.h"

namespace carvexctl {

std::unique_ptr<Dispatcher> MakeDispatcher(const std::string& version) {
    auto dispatcher = std::make_unique<Dispatcher>(
        "carvexctl: read and change a 3G data card through the Carvex library.\n" +
            WhereCardsAreFound(),
        "carvexctl " + version);
    dispatcher->Register(std::make_unique<CardCommands>());
    dispatcher->Register(std::make_unique<PortCommands>());
    dispatcher->Register(std::make_unique<FileCommands>());
    dispatcher->Register(std::make_unique<CardWorkCommands>());
    dispatcher->Register(std::make_unique<BatchCommands>(version));
    dispatcher->Register(std::make_unique<RecordsCommand>());
    dispatcher->Register(std::make_unique<PruneCommand>());
    dispatcher->Register(std::make_unique<StationCommand>(version));
    return dispatcher;
}

int RunCarvexctl(const std::vector<std::string>& arguments, const std::string& version) {
    return MakeDispatcher(version)->Run(arguments, std::cerr);
}

}  // namespace carvexctl
