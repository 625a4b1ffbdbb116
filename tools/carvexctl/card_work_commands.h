#pragma once

#include <string>

namespace CLI {
class App;
class ParseError;
}  // namespace CLI

namespace carvexctl {

class PortOption;

// `read` and `write`: the configurator's Read, and its Import followed by its Write, on one card
// and without a window, logging the lines the window would log. Exit status 0 on success, 1 when
// the card work failed, 2 for bad arguments or a refused file.
class CardWorkCommands {
  public:
    // Adds the two subcommands to `app`; the object must outlive the parse, and so must `port`,
    // which names the card.
    CardWorkCommands(CLI::App& app, const PortOption& port);

    // The exit status of a parse that ended in `error`: the status a subcommand chose, 0 for
    // --help and --version, and 2 for bad arguments of any command.
    int ExitStatus(const CLI::App& app, const CLI::ParseError& error) const;

    struct Options {
        std::string description;  // Config_Info.ini
        std::string log;          // the log's file; standard error when empty
        std::string values_out;   // read: a values file to store what was read in
        std::string section;      // read: its solution section
        std::string settings;     // write: the setting file
        bool no_restart = false;  // write: the card is backed up but not restarted
    };

  private:
    Options options_;
};

}  // namespace carvexctl
