#pragma once

#include "tools/carvexctl/dispatcher.h"

namespace carvexctl {

// What is plugged in: ports (the device root as the library sees it, and why ports are not
// taken) and cards (every card asked at once who it is).
class PortCommands : public CommandModule {
  public:
    void Register(Dispatcher& dispatcher) override;

  private:
    bool why_ = false;
    bool ports_json_ = false;
    bool cards_json_ = false;
};

}  // namespace carvexctl
