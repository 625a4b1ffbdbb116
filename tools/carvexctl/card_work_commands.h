#pragma once

#include <string>

#include "tools/carvexctl/dispatcher.h"

namespace carvexctl {

// `read`, `write` and `export`: the configurator's Read, its Import followed by its Write, and its
// Export (of a card, or of a stored solution), without a window, logging the lines the window
// would log. Exit status 0 on success, 1 when
// the card work failed, 2 for bad arguments or a refused file.
class CardWorkCommands : public CommandModule {
  public:
    void Register(Dispatcher& dispatcher) override;

    struct Options {
        std::string description;         // Config_Info.ini
        std::string log;                 // the log's file; standard error when empty
        std::string values_out;          // read: a values file to store what was read in
        std::string section;             // read: its solution section; export: the solution
        std::string settings;            // write: the setting file
        bool no_restart = false;         // write: the card is backed up but not restarted
        std::string out;                 // export: the setting file to write
        std::string values;              // export: the values file holding the solution
        std::string card_type;           // export: the card type the solution is exported for
        std::string new_version = "no";  // export: "yes" for the newer firmware generation
        bool from_card = false;          // export: the card's configuration, read
        bool json = false;               // read: the card's configuration as one JSON document
    };

  private:
    Options options_;
};

}  // namespace carvexctl
