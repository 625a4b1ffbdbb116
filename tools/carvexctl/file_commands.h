#pragma once

#include <string>

#include "tools/carvexctl/dispatcher.h"

namespace carvexctl {

// The commands on files alone, no card: crc (the library's CRC of a whole file) and verify (a
// setting file's seal and values).
class FileCommands : public CommandModule {
  public:
    void Register(Dispatcher& dispatcher) override;

  private:
    std::string file_;
    std::string description_;
    bool json_ = false;
};

}  // namespace carvexctl
