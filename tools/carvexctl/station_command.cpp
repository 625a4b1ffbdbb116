#include "tools/carvexctl/station_command.h"

#include <CLI/CLI.hpp>

#include "tools/carvexctl/default_description.h"

namespace carvexctl {

void StationCommand::Register(Dispatcher& dispatcher) {
    auto* station = dispatcher.App().add_subcommand(
        "station",
        "work every card plugged in (or into the slots --port names) until SIGINT or SIGTERM: "
        "written with one setting file, restarted, read back and recorded, once per card");
    station->add_option("SETTINGS", options_.settings, "the setting file (.ini) to write")
        ->required();
    station->add_option("--description", options_.description, kDescriptionHelp);
    station->add_option("--jobs", options_.jobs, "how many cards to work at once (default: all)")
        ->check(CLI::Range(1, 999));
    auto* again = station->add_flag("--again", options_.again,
                                    "write the cards that have an ok record of this file too");
    station
        ->add_option("--again-imei", options_.again_imeis,
                     "write the card of this IMEI even if it has an ok record of this file "
                     "(may be given more than once)")
        ->excludes(again);
    station->add_flag("--no-restart", options_.no_restart,
                      "back the cards up but do not restart them (the bytes are read back at "
                      "once)");
    station->add_option("--before-hook", options_.before_hook,
                        "run this through sh -c before a card's first write; a non-zero exit "
                        "refuses the card");
    station->add_option("--after-hook", options_.after_hook,
                        "run this through sh -c with each card's committed record as JSON on "
                        "its standard input");
    station
        ->add_option("--hook-timeout", options_.hook_timeout,
                     "seconds a hook may run before it is killed (default: 30)")
        ->check(CLI::Range(0.1, 86400.0));
    station->add_flag("--json", options_.json,
                      "one JSON object per event on standard output, a line each");
    station->add_option("--snapshots", options_.snapshots,
                        "the folder for the snapshots taken before the first write (default: "
                        "$XDG_STATE_HOME/carvex/snapshots)");
    station->add_option("--logs", options_.logs,
                        "the folder for the logs, one per card in a folder per station run "
                        "(default: $XDG_STATE_HOME/carvex/logs)");
    station->add_option("--http", options_.http,
                        "serve the line page, a read-only live view of the slots, and its JSON "
                        "API at ADDR:PORT (127.0.0.1:8080); beyond loopback only with a token");
    auto* token = station->add_option("--http-token", options_.http_token,
                                      "the token the line page asks for (16 to 256 letters, "
                                      "digits or -._~+/=); every user sees it in ps, unlike "
                                      "$CARVEX_HTTP_TOKEN");
    station
        ->add_option("--http-token-file", options_.http_token_file,
                     "a file holding the token the line page asks for")
        ->excludes(token);
    AddRunRecordOptions(station, options_.records);
    const PortOption& port = dispatcher.Port();
    dispatcher.Add(station, [this, &port] { return RunStation(options_, port.Ports(), version_); });
}

}  // namespace carvexctl
