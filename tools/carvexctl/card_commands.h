#pragma once

#include <string>

#include "tools/carvexctl/dispatcher.h"

namespace carvexctl {

// The commands of single requests to one card: info, nv read and write, backup, pnp get and set,
// reset. Each opens the card, asks, prints the answer and closes it.
class CardCommands : public CommandModule {
  public:
    void Register(Dispatcher& dispatcher) override;

  private:
    int item_ = 0;
    bool raw_ = false;
    bool json_ = false;
    std::string hex_;
    int state_ = 0;
    int mask_ = 0;
};

}  // namespace carvexctl
