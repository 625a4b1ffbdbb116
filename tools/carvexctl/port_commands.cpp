#include "tools/carvexctl/port_commands.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "carvex/platform/device_root.h"
#include "tools/carvexctl/cards_list.h"
#include "tools/carvexctl/json_output.h"
#include "tools/carvexctl/ports_report.h"

namespace carvexctl {

void PortCommands::Register(Dispatcher& dispatcher) {
    CLI::App& app = dispatcher.App();
    auto* ports = app.add_subcommand(
        "ports", "list the card ports the library finds, and which ones it would take");
    ports->add_flag("--why", why_,
                    "also list the USB serial ports that are not published, and why");
    AddJsonFlag(ports, ports_json_);
    dispatcher.Add(ports, [this] {
        PrintPorts(std::cout, carvex::DeviceRoot::FromEnvironment(), why_, ports_json_);
        return ExitStatus::kOk;
    });

    auto* cards = app.add_subcommand(
        "cards", "list every card: its COM ports, IMEI, model and firmware (each asked at once)");
    const PortOption& port = dispatcher.Port();
    AddJsonFlag(cards, cards_json_);
    dispatcher.Add(cards, [this, &port] {
        return PrintCards(std::cout, carvex::DeviceRoot::FromEnvironment(), port.Ports(),
                          cards_json_)
                   ? ExitStatus::kOk
                   : ExitStatus::kCardWorkFailed;
    });
}

}  // namespace carvexctl
