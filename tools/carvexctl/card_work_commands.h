#pragma once

#include <string>

#include "tools/carvexctl/dispatcher.h"

namespace carvexctl {

// `read` and `write`: the configurator's Read, and its Import followed by its Write, on one card
// and without a window, logging the lines the window would log. Exit status 0 on success, 1 when
// the card work failed, 2 for bad arguments or a refused file.
class CardWorkCommands : public CommandModule {
  public:
    void Register(Dispatcher& dispatcher) override;

    struct Options {
        std::string description;  // Config_Info.ini
        std::string log;          // the log's file; standard error when empty
        std::string values_out;   // read: a values file to store what was read in
        std::string section;      // read: its solution section
        std::string settings;     // write: the setting file
        bool no_restart = false;  // write: the card is backed up but not restarted
        bool json = false;        // read: the card's configuration as one JSON document
    };

  private:
    Options options_;
};

}  // namespace carvexctl
